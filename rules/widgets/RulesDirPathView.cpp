#include "rules/widgets/RulesDirPathView.h"

#include <QAbstractItemView>
#include <QDir>
#include <QEvent>
#include <QFileDialog>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QMenu>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>

#include "rules/KZCriteriaMenus.h"
#include "rules/widgets/KZValueAndUnitView.h"
#include "support/KZLocalization.h"
#include "support/KZUserDefaults.h"

namespace {

constexpr int kViewWidth = 220;
constexpr int kViewHeight = 27;
// Room around the buttons for the drag highlight.
constexpr int kButtonX = 3;
constexpr int kButtonHeight = 22;

QString homeDirPath()
{
    return QDir::homePath();
}

// The path as a menu shows it: "~" for the home folder's contents.
QString abbreviatedPath(const QString &path)
{
    const QString home = homeDirPath();
    if (path == home)
        return path;
    if (!home.isEmpty() && path.startsWith(home + QLatin1Char('/')))
        return QStringLiteral("~") + path.mid(home.size());
    return path;
}

// A folder's menu icon. Some styles draw a checked entry that has an icon as a
// framed icon without a check mark, so checked folders carry their own mark.
QIcon entryIcon(const QPixmap &folderIcon, bool checked)
{
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.drawPixmap(0, 0, folderIcon);
    if (checked) {
        p.setRenderHint(QPainter::Antialiasing);
        QPainterPath mark;
        mark.moveTo(7.5, 11.5);
        mark.lineTo(10.5, 14.5);
        mark.lineTo(15.0, 7.5);
        p.setPen(QPen(Qt::white, 4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.drawPath(mark);
        p.setPen(QPen(QColor::fromRgbF(0.1, 0.1, 0.1), 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.drawPath(mark);
    }
    p.end();
    return QIcon(pixmap);
}

} // namespace

// --- View

RulesDirPathView::RulesDirPathView(QWidget *parent)
    : FileDaDView(parent)
{
    setObjectName(QStringLiteral("RulesDirPathView"));
}

bool RulesDirPathView::proposeDnDFileURLs(const QList<QUrl> &urls)
{
    if (m_vcDelegator)
        m_vcDelegator->rulesDirPathViewDidDndFiles(this, urls);
    return true;
}

void RulesDirPathView::paintEvent(QPaintEvent *)
{
    if (!hasDragging())
        return;
    QPainter p(this);
    QPen pen(QColor::fromRgbF(0.67, 0.67, 0.67, 1.0), 2);
    pen.setJoinStyle(Qt::MiterJoin);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(1, 1, width() - 2, height() - 2));
}

// --- Controller

RulesDirPathWidgetController::RulesDirPathWidgetController(QObject *parent)
    : QObject(parent)
{
    kzRegisterRulesEnglishTables();
}

RulesDirPathWidgetController::~RulesDirPathWidgetController()
{
    if (m_chooseBox)
        delete m_chooseBox.data();
    // The row that showed the view may be gone already (it deletes its
    // children); otherwise the view goes with its controller.
    if (m_view)
        delete m_view.data();
}

QString RulesDirPathWidgetController::chooseBoxFrameKey()
{
    return QStringLiteral("RulesDirPathViewController-ScopeDirSelect");
}

RulesDirPathView *RulesDirPathWidgetController::view()
{
    if (!m_view)
        viewDidLoad();
    return m_view;
}

QPushButton *RulesDirPathWidgetController::chooseButton()
{
    view();
    return m_chooseButton;
}

QPushButton *RulesDirPathWidgetController::popMenu()
{
    view();
    return m_popMenu;
}

void RulesDirPathWidgetController::viewDidLoad()
{
    m_view = new RulesDirPathView;
    m_view->resize(kViewWidth, kViewHeight);
    m_view->setVc_delegator(this);
    const QFont font = kzSmallControlFont();
    const int y = (kViewHeight - kButtonHeight) / 2;

    m_popMenu = new QPushButton(m_view);
    m_popMenu->setObjectName(QStringLiteral("popMenu"));
    m_popMenu->setFont(font);
    m_popMenu->setStyleSheet(QStringLiteral("text-align: left; padding-left: 6px; padding-right: 18px;"));
    // Equal margins on both sides, growing with the view.
    m_popMenu->setGeometry(kButtonX, y, kViewWidth - 2 * kButtonX, kButtonHeight);
    auto *menu = new QMenu(m_popMenu);
    menu->setObjectName(QStringLiteral("RulesDirPathMenu"));
    menu->setFont(font);
    connect(menu, &QMenu::aboutToShow, this, [this, menu] { menuNeedsUpdate(menu); });
    connect(menu, &QMenu::triggered, this, &RulesDirPathWidgetController::mi_action);
    m_popMenu->setMenu(menu);

    m_chooseButton = new QPushButton(KZLocalizedString("Choose…"), m_view);
    m_chooseButton->setObjectName(QStringLiteral("chooseButton"));
    m_chooseButton->setFont(font);
    m_chooseButton->adjustSize();
    m_chooseButton->setGeometry(m_popMenu->x(), y, std::max(m_chooseButton->width(), 90), kButtonHeight);
    connect(m_chooseButton, &QPushButton::clicked, this, &RulesDirPathWidgetController::chooseButtonAction);

    m_view->installEventFilter(this);
    updateUI();
}

void RulesDirPathWidgetController::updateUI()
{
    if (!m_view)
        return;
    const bool empty = paths().isEmpty();
    m_chooseButton->setHidden(!empty);
    m_popMenu->setHidden(empty);
    m_popMenu->setText(proposedPopMenuTitle());
    // The pull-down keeps equal margins in a view that the row widened.
    m_popMenu->resize(std::max(60, m_view->width() - 2 * kButtonX), m_popMenu->height());
}

void RulesDirPathWidgetController::menuNeedsUpdate(QMenu *menu)
{
    menu->clear();
    QFileIconProvider icons;
    for (const KZDirPathEntryRef &entry : paths()) {
        if (!entry)
            continue;
        QAction *item = menu->addAction(abbreviatedPath(entry->path));
        const QFileInfo info(entry->path);
        item->setIcon(entryIcon(icons.icon(info).pixmap(16, 16), entry->state == 1));
        item->setData(QVariant::fromValue(reinterpret_cast<quintptr>(entry.get())));
        item->setProperty("tag", 1);
        item->setEnabled(info.exists() && info.isDir());
        item->setCheckable(true);
        item->setChecked(entry->state == 1);
    }
    menu->addSeparator();
    QAction *add = menu->addAction(KZLocalizedString("Add…"));
    add->setProperty("tag", 2);
    add->setEnabled(true);
}

void RulesDirPathWidgetController::mi_action(QAction *item)
{
    if (!item)
        return;
    const int tag = item->property("tag").toInt();
    if (tag == 1) {
        const quintptr key = item->data().value<quintptr>();
        for (const KZDirPathEntryRef &entry : paths()) {
            if (entry && reinterpret_cast<quintptr>(entry.get()) == key) {
                toggleEntry(entry);
                return;
            }
        }
    } else if (tag == 2) {
        presentChooseBox();
    }
}

void RulesDirPathWidgetController::chooseButtonAction()
{
    presentChooseBox();
}

void RulesDirPathWidgetController::presentChooseBox()
{
    if (m_chooseBox)
        return;
    const QString start = scopeDir().isEmpty() ? homeDirPath() : scopeDir();
    QWidget *window = m_view ? m_view->window() : nullptr;
    auto *box = new QFileDialog(window, QString(), start);
    box->setObjectName(QStringLiteral("RulesDirPathViewController-ScopeDirSelect"));
    box->setOption(QFileDialog::DontUseNativeDialog, true);
    box->setFileMode(QFileDialog::Directory);
    box->setOption(QFileDialog::ShowDirsOnly, true);
    box->setOption(QFileDialog::ReadOnly, true); // no new folders
    box->setFilter(QDir::AllDirs | QDir::Hidden | QDir::NoDotAndDotDot | QDir::Drives);
    box->setAcceptMode(QFileDialog::AcceptOpen);
    // Several folders at once.
    for (QAbstractItemView *list : box->findChildren<QAbstractItemView *>(QStringLiteral("listView"))
                                       + box->findChildren<QAbstractItemView *>(QStringLiteral("treeView")))
        list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    box->setWindowModality(Qt::WindowModal);
    box->setAttribute(Qt::WA_DeleteOnClose);
    const QByteArray frame =
        QByteArray::fromBase64(KZUserDefaults::standardUserDefaults().stringForKey(chooseBoxFrameKey()).toLatin1());
    if (!frame.isEmpty())
        box->restoreGeometry(frame);
    connect(box, &QFileDialog::finished, this, [this, box](int result) {
        KZUserDefaults::standardUserDefaults().setObject(QString::fromLatin1(box->saveGeometry().toBase64()),
                                                         chooseBoxFrameKey());
        if (result == QDialog::Accepted)
            addFileURLs(box->selectedUrls());
    });
    m_chooseBox = box;
    box->open();
}

bool RulesDirPathWidgetController::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_view && event->type() == QEvent::Resize)
        updateUI();
    return QObject::eventFilter(watched, event);
}

bool RulesDirPathWidgetController::rulesDirPathViewDidDndFiles(RulesDirPathView *, const QList<QUrl> &urls)
{
    addFileURLs(urls);
    return true;
}
