#include "results/FilePreviewView.h"

#include <QFileInfo>
#include <QFontDatabase>
#include <QLocale>
#include <QPainter>
#include <QTimer>

#include "results/FileMdItemViewController.h"
#include "results/Functions.h"
#include "results/KZFinderFileIcon.h"
#include "support/KZFunctions.h"
#include "support/KZLocalization.h"

using kzplatform::KZMetadataItem;

namespace {

constexpr int kLineHeight = 18;
constexpr int kTextHeight = 14;
constexpr int kGroupGap = 4;
constexpr int kIconSize = 128;

struct PaneAnswer {
    FilePreview preview;
    std::optional<KZMetadataItem> item;
};

QFont factFont(bool bold)
{
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setPixelSize(11);
    font.setBold(bold);
    return font;
}

} // namespace

// The preview under the facts: an image or PDF page centred and never
// enlarged, the start of a text file, or the file's icon.
class FilePreviewArea : public QWidget
{
public:
    using QWidget::QWidget;
    FilePreview preview;

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        const QRect area = rect().adjusted(8, 8, -8, -8);
        switch (preview.kind) {
        case FilePreview::KindImage:
        case FilePreview::KindPdf: {
            const qreal ratio = devicePixelRatioF();
            QSize shown = (QSizeF(preview.image.size()) / ratio).toSize();
            if (shown.width() > area.width() || shown.height() > area.height())
                shown.scale(area.size(), Qt::KeepAspectRatio);
            QRect target(QPoint(), shown);
            target.moveCenter(area.center());
            painter.setRenderHint(QPainter::SmoothPixmapTransform);
            painter.drawImage(target, preview.image);
            break;
        }
        case FilePreview::KindText:
            painter.setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
            painter.setPen(palette().color(QPalette::Text));
            painter.drawText(area, Qt::AlignLeft | Qt::AlignTop, preview.text.left(8192));
            break;
        case FilePreview::KindIcon: {
            QRect target(0, 0, kIconSize, kIconSize);
            target.moveCenter(area.center());
            // Looked up once per file, not at every paint (dragging the divider
            // paints continuously; the lookup asks the file system).
            if (m_iconPath != preview.path || m_icon.isNull()) {
                m_icon = KZFinderFileIcon::workspaceIconForFileAtPath(preview.path);
                m_iconPath = preview.path;
            }
            m_icon.paint(&painter, target);
            break;
        }
        case FilePreview::KindNone:
            break;
        }
    }

private:
    QIcon m_icon;
    QString m_iconPath;
};

FilePreviewView::FilePreviewView(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("FilePreviewView"));
    FileMdItemViewController::registerEnglishTexts();
    static const char *const labels[FactCount] = {
        "CMMenuItemDetailsViewFilePath_displayName",      "CMMenuItemDetailsViewFilePath_displayType",
        "CMMenuItemDetailsViewFilePath_creationDate",     "CMMenuItemDetailsViewFilePath_modificationDate",
        "CMMenuItemDetailsViewFilePath_accessDate",       "CMMenuItemDetailsViewFilePath_addedDate",
        "CMMenuItemDetailsViewFilePath_size",             "CMMenuItemDetailsViewFilePath_totalSize",
        "CMMenuItemDetailsViewFilePath_ownerName",        "CMMenuItemDetailsViewFilePath_groupName"};
    for (int i = 0; i < FactCount; ++i)
        m_facts[i].label = KZLocalizedString(labels[i]);
    setAutoFillBackground(true);
    m_resizeTimer.setSingleShot(true);
    m_resizeTimer.setInterval(150);
    connect(&m_resizeTimer, &QTimer::timeout, this, [this] {
        if (!m_loading && m_fileURL.isLocalFile())
            reloadWithFileURL(m_fileURL, m_isRegular);
    });
}

const FilePreview &FilePreviewView::preview() const
{
    static const FilePreview none;
    return m_previewView ? m_previewView->preview : none;
}

QString FilePreviewView::factValue(const QString &name) const
{
    static const QStringList names{QStringLiteral("displayName"), QStringLiteral("displayType"),
                                   QStringLiteral("creationDate"), QStringLiteral("modificationDate"),
                                   QStringLiteral("accessDate"),   QStringLiteral("addedDate"),
                                   QStringLiteral("size"),         QStringLiteral("totalSize"),
                                   QStringLiteral("ownerName"),    QStringLiteral("groupName")};
    const int i = int(names.indexOf(name));
    return i < 0 ? QString() : m_facts[i].value;
}

QString FilePreviewView::sizeText(std::optional<qint64> bytes)
{
    if (!bytes)
        return QStringLiteral("--");
    if (*bytes <= 0)
        return KZLocalizedString("Zero bytes");
    return KZStringWithFormat(KZLocalizedString("%@ (%@ bytes)"),
                              {KZFunctions::stringFromBytesWithBin1024Style(*bytes), QLocale().toString(*bytes)});
}

void FilePreviewView::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    if (!m_previewView)
        return;
    m_previewView->setGeometry(0, kFactsHeight, width(), qMax(0, height() - kFactsHeight));
    // A picture made for a narrower pane is made again once the divider rests.
    const FilePreview &shown = m_previewView->preview;
    const QSize made = shown.image.size();
    const QSize wanted = previewSize();
    const bool cutShort = shown.kind == FilePreview::KindPdf ||
                          (shown.kind == FilePreview::KindImage && shown.sourceSize.width() > made.width() &&
                           shown.sourceSize.height() > made.height());
    if (cutShort && wanted.width() > made.width() && wanted.height() > made.height())
        m_resizeTimer.start();
}

QSize FilePreviewView::previewSize() const
{
    return (m_previewView->size() - QSize(16, 16)).expandedTo(QSize(64, 64)) * devicePixelRatioF();
}

void FilePreviewView::reloadWithFileURL(const QUrl &url, bool isRegular)
{
    m_fileURL = url;
    m_isRegular = isRegular;
    const quint64 generation = m_requests.next();
    update();
    if (!url.isLocalFile()) {
        m_loading = false;
        m_shownURL = QUrl();
        if (m_previewView) {
            m_previewView->preview = FilePreview();
            m_previewView->update();
        }
        return;
    }
    if (!m_previewView) {
        m_previewView = new FilePreviewArea(this);
        m_previewView->setObjectName(QStringLiteral("previewView"));
        m_previewView->setGeometry(0, kFactsHeight, width(), qMax(0, height() - kFactsHeight));
        m_previewView->show();
    }
    m_loading = true;
    // As in the metadata table: a slow answer first clears the previous file.
    QTimer::singleShot(FileMdItemViewController::kStaleAfterMs, this, [this, generation] {
        // A picture made again for a wider pane keeps the facts it belongs to.
        if (!m_requests.isCurrent(generation) || !m_loading || m_shownURL == m_fileURL)
            return;
        for (Fact &fact : m_facts)
            fact.value.clear();
        m_previewView->preview = FilePreview();
        m_previewView->update();
        m_shownURL = QUrl();
        update();
    });
    const QString path = url.toLocalFile();
    const QSize size = previewSize();
    const auto read = [path, size] {
        PaneAnswer answer;
        answer.item = FileMdItemViewController::readItem(path);
        // AppleDouble companions ("._name") hold no content worth showing.
        if (answer.item && !QFileInfo(path).fileName().startsWith(QLatin1String("._")))
            answer.preview = FilePreviewRenderer::render(path, size);
        return answer;
    };
    m_requests.run(this, read, [this, isRegular](const PaneAnswer &answer) {
        m_loading = false;
        for (Fact &fact : m_facts)
            fact.value.clear();
        if (answer.item) {
            const KZMetadataItem &item = *answer.item;
            const auto text = [&](const char *key) { return item.value(QLatin1String(key)).toString(); };
            const auto date = [&](const char *key) {
                const QDateTime d = item.value(QLatin1String(key)).toDateTime();
                return d.isValid() ? FileMdItemViewController::mediumDateText(d) : QString();
            };
            m_facts[DisplayName].value = text("kMDItemDisplayName");
            m_facts[DisplayType].value = text("kMDItemKind");
            m_facts[CreationDate].value = date("kMDItemFSCreationDate");
            m_facts[ModificationDate].value = date("kMDItemContentModificationDate");
            m_facts[AccessDate].value = date("kMDItemLastUsedDate");
            // No file system here records when a file was added to its folder.
            if (isRegular) {
                const QVariant allocated = item.value(QStringLiteral("kMDItemPhysicalSize"));
                const std::optional<qint64> bytes =
                    allocated.isValid() ? std::optional<qint64>(allocated.toLongLong()) : std::nullopt;
                // One fork per file: the total allocated size is the allocated size.
                m_facts[Size].value = sizeText(bytes);
                m_facts[TotalSize].value = sizeText(bytes);
            }
            m_facts[OwnerName].value = item.ownerName();
            m_facts[GroupName].value = item.groupName();
        }
        if (m_facts[DisplayName].value.isEmpty())
            m_facts[DisplayName].value = QFileInfo(m_fileURL.toLocalFile()).fileName();
        m_previewView->preview = answer.preview;
        m_previewView->update();
        m_shownURL = m_fileURL;
        update();
        Q_EMIT detailsShown();
    });
}

int FilePreviewView::drawLabel(QPainter &painter, const QString &label, const QString &value, const QRect &rect,
                               int space)
{
    if (label.isEmpty() || value.isEmpty())
        return 0;
    const int textWidth = rect.width();
    const int third = textWidth / 3;
    static const QFont labelFont = factFont(true);
    static const QFont valueFont = factFont(false);
    const QRect labelRect(8, rect.top(), qMax(0, third - 2 - 8), kTextHeight);
    const QRect valueRect(third + 2, rect.top(), textWidth - third, kTextHeight);
    painter.setFont(labelFont);
    painter.setPen(QColor::fromRgbF(0.5, 0.5, 0.5));
    painter.drawText(labelRect, Qt::AlignLeft | Qt::AlignVCenter,
                     QFontMetrics(labelFont).elidedText(label, Qt::ElideMiddle, labelRect.width()));
    painter.setFont(valueFont);
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawText(valueRect, Qt::AlignLeft | Qt::AlignVCenter,
                     QFontMetrics(valueFont).elidedText(value, Qt::ElideMiddle, valueRect.width()));
    return kLineHeight + space;
}

void FilePreviewView::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(QRect(0, 0, width(), 1), Functions::sepLineColor());
    if (m_fileURL.isEmpty())
        return;
    const int textWidth = width() - 16;
    int top = 16;
    const auto line = [&](int fact) {
        top += drawLabel(painter, m_facts[fact].label, m_facts[fact].value, QRect(8, top, textWidth, kLineHeight), 2);
    };
    line(DisplayName);
    line(DisplayType);
    top += kGroupGap;
    for (const int fact : {CreationDate, ModificationDate, AccessDate, AddedDate})
        line(fact);
    top += kGroupGap;
    if (m_isRegular) {
        line(Size);
        line(TotalSize);
        top += kGroupGap;
    }
    line(OwnerName);
    line(GroupName);
}
