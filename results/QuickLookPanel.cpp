#include "results/QuickLookPanel.h"

#include <QCoreApplication>
#include <QFontDatabase>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPlainTextEdit>
#include <QStackedWidget>
#include <QVBoxLayout>

#include "results/KZFinderFileIcon.h"
#include "results/ResultsListTableView.h"
#include "support/KZFunctions.h"
#include "support/KZLocalization.h"

namespace {

QuickLookPanel *s_sharedPanel = nullptr;

constexpr int kIconSize = 128;

} // namespace

void FilePreviewImageView::setImage(const QImage &image)
{
    m_image = image;
    update();
}

void FilePreviewImageView::paintEvent(QPaintEvent *)
{
    if (m_image.isNull())
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    const qreal ratio = devicePixelRatioF();
    QSizeF shown = QSizeF(m_image.size()) / ratio;
    if (shown.width() > width() || shown.height() > height())
        shown.scale(QSizeF(size()), Qt::KeepAspectRatio);
    const QRectF target((width() - shown.width()) / 2, (height() - shown.height()) / 2, shown.width(),
                        shown.height());
    painter.drawImage(target, m_image);
}

QuickLookPanel *QuickLookPanel::sharedPanel()
{
    if (!s_sharedPanel) {
        s_sharedPanel = new QuickLookPanel;
        // Widgets must go before the application does.
        qAddPostRoutine([] {
            delete s_sharedPanel;
            s_sharedPanel = nullptr;
        });
    }
    return s_sharedPanel;
}

QuickLookPanel::QuickLookPanel()
    : QWidget(nullptr, Qt::Tool)
{
    setObjectName(QStringLiteral("QuickLookPanel"));
    // The list keeps the keyboard: its arrow keys move the selection the panel follows.
    setAttribute(Qt::WA_ShowWithoutActivating);
    setWindowTitle(KZLocalizedString("Quick Look"));
    resize(640, 480);
    m_resizeTimer.setSingleShot(true);
    m_resizeTimer.setInterval(150);
    connect(&m_resizeTimer, &QTimer::timeout, this, [this] {
        const QSize wanted = renderSize();
        const QSize made = m_preview.image.size();
        const QSize source = m_preview.sourceSize;
        const bool cutShort = m_preview.kind == FilePreview::KindPdf ||
                              (source.width() > made.width() && source.height() > made.height());
        const bool grown = wanted.width() > made.width() && wanted.height() > made.height();
        if (!m_loading && m_url.isLocalFile() && cutShort && grown)
            request(m_url);
    });
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_stack = new QStackedWidget(this);
    layout->addWidget(m_stack);

    m_empty = new QLabel(KZLocalizedString("No Selection"), m_stack);
    m_empty->setAlignment(Qt::AlignCenter);
    m_empty->setEnabled(false);
    m_stack->addWidget(m_empty);

    m_imageView = new FilePreviewImageView(m_stack);
    m_imageView->setObjectName(QStringLiteral("previewImage"));
    m_stack->addWidget(m_imageView);

    m_textView = new QPlainTextEdit(m_stack);
    m_textView->setObjectName(QStringLiteral("previewText"));
    m_textView->setReadOnly(true);
    m_textView->setFocusPolicy(Qt::NoFocus);
    m_textView->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    m_textView->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_stack->addWidget(m_textView);

    m_iconPage = new QWidget(m_stack);
    m_iconPage->setObjectName(QStringLiteral("previewIcon"));
    auto *iconLayout = new QVBoxLayout(m_iconPage);
    iconLayout->addStretch(1);
    m_icon = new QLabel(m_iconPage);
    m_icon->setAlignment(Qt::AlignCenter);
    m_name = new QLabel(m_iconPage);
    m_name->setAlignment(Qt::AlignCenter);
    m_name->setWordWrap(true);
    QFont bold = m_name->font();
    bold.setBold(true);
    bold.setPointSizeF(bold.pointSizeF() * 1.3);
    m_name->setFont(bold);
    m_facts = new QLabel(m_iconPage);
    m_facts->setAlignment(Qt::AlignCenter);
    for (QLabel *label : {m_icon, m_name, m_facts})
        iconLayout->addWidget(label);
    iconLayout->addStretch(1);
    m_stack->addWidget(m_iconPage);
}

int QuickLookPanel::numberOfPreviewItems(const ResultsListViewController *controller)
{
    return controller && controller->selectedRows().size() == 1 ? 1 : 0;
}

std::optional<KZQLPreviewItemCoquille> QuickLookPanel::previewItemAtIndex(
    const ResultsListViewController *controller, int index)
{
    if (index != 0 || numberOfPreviewItems(controller) != 1)
        return std::nullopt;
    const int row = controller->selectedRows().first();
    return KZQLPreviewItemCoquille::initWithPreviewItemURL(controller->fileURLOfRow(row));
}

void QuickLookPanel::showForController(ResultsListViewController *controller)
{
    if (m_sourceView)
        m_sourceView->removeEventFilter(this);
    m_source = controller;
    m_sourceView = controller ? controller->mTableView() : nullptr;
    if (m_sourceView)
        m_sourceView->installEventFilter(this);
    const std::optional<KZQLPreviewItemCoquille> item = previewItemAtIndex(controller, 0);
    show();
    raise();
    request(item ? item->previewItemURL() : QUrl());
}

void QuickLookPanel::reloadWithURL(const QUrl &url)
{
    // Only the list the panel shows moves it, not another window's list.
    if (m_source) {
        const std::optional<KZQLPreviewItemCoquille> item = previewItemAtIndex(m_source, 0);
        if (!item || item->previewItemURL() != url)
            return;
    }
    if (url != m_url)
        request(url);
}

void QuickLookPanel::close()
{
    // An answer still on its way is for a panel no longer shown.
    m_requests.next();
    m_loading = false;
    m_url = QUrl();
    if (m_sourceView)
        m_sourceView->removeEventFilter(this);
    m_sourceView = nullptr;
    hide();
}

void QuickLookPanel::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    // A picture made for a smaller window is made again once the resizing pauses.
    if (isVisible() && (m_preview.kind == FilePreview::KindImage || m_preview.kind == FilePreview::KindPdf))
        m_resizeTimer.start();
}

QSize QuickLookPanel::renderSize() const
{
    return (m_stack->size().expandedTo(QSize(320, 240)) * devicePixelRatioF());
}

void QuickLookPanel::request(const QUrl &url)
{
    m_requests.next();
    m_url = url;
    if (!url.isLocalFile()) {
        m_loading = false;
        apply(FilePreview());
        return;
    }
    m_loading = true;
    m_requests.run(
        this, [path = url.toLocalFile(), size = renderSize()] { return FilePreviewRenderer::render(path, size); },
        [this](const FilePreview &preview) {
            m_loading = false;
            apply(preview);
        });
}

void QuickLookPanel::apply(const FilePreview &preview)
{
    m_preview = preview;
    setWindowTitle(preview.name.isEmpty() ? KZLocalizedString("Quick Look") : preview.name);
    switch (preview.kind) {
    case FilePreview::KindImage:
    case FilePreview::KindPdf:
        m_imageView->setImage(preview.image);
        m_stack->setCurrentWidget(m_imageView);
        break;
    case FilePreview::KindText:
        m_textView->setPlainText(preview.text);
        m_stack->setCurrentWidget(m_textView);
        break;
    case FilePreview::KindIcon: {
        const qreal ratio = devicePixelRatioF();
        QPixmap icon = KZFinderFileIcon::workspaceIconForFileAtPath(preview.path)
                           .pixmap(QSize(kIconSize, kIconSize), ratio);
        m_icon->setPixmap(icon);
        m_name->setText(preview.name);
        QStringList facts{preview.kindDescription};
        if (preview.size >= 0)
            facts.append(KZFunctions::stringFromBytesWithBin1024Style(preview.size, 1) +
                         QStringLiteral(" (%1)").arg(QLocale().toString(preview.size)));
        m_facts->setText(facts.join(QLatin1Char('\n')));
        m_stack->setCurrentWidget(m_iconPage);
        break;
    }
    case FilePreview::KindNone:
        m_imageView->setImage(QImage());
        m_textView->clear();
        m_stack->setCurrentWidget(m_empty);
        break;
    }
    Q_EMIT previewShown();
}

void QuickLookPanel::keyPressEvent(QKeyEvent *event)
{
    if ((event->key() == Qt::Key_Escape || event->key() == Qt::Key_Space) && event->modifiers() == Qt::NoModifier) {
        close();
        event->accept();
        return;
    }
    QWidget::keyPressEvent(event);
}

bool QuickLookPanel::eventFilter(QObject *watched, QEvent *event)
{
    // Escape in the list closes the panel it shows; Space reaches the list's own toggle.
    if (watched == m_sourceView && event->type() == QEvent::KeyPress && isVisible()) {
        auto *key = static_cast<QKeyEvent *>(event);
        if (key->key() == Qt::Key_Escape && key->modifiers() == Qt::NoModifier) {
            close();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}
