#include "app/DocumentWindowController.h"

#include <sys/stat.h>
#include <cmath>
#include <optional>

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QDir>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QPropertyAnimation>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QThreadPool>
#include <QVBoxLayout>

#include "app/DocumentWindow.h"
#include "engine/KZFileSearch.h"
#include "engine/KZFileSearchObject.h"
#include "engine/KZSearchTextCriteria.h"
#include "platform/KZGuardedFS.h"
#include "results/Functions.h"
#include "results/KZFinderFileIcon.h"
#include "results/ResultsListModel.h"
#include "results/ResultsListTableView.h"
#include "rules/SavedSearches.h"
#include "rules/widgets/KZRulesEditorView.h"
#include "rules/widgets/RulesDirPathView.h"
#include "support/KZLocalization.h"
#include "support/KZLog.h"
#include "support/KZNotificationCenter.h"
#include "support/KZUserDefaults.h"
#include "toolkit/DocumentWindowValidateMenuItem.h"
#include "toolkit/KZSpinnerView.h"

namespace {

constexpr int kSearchBarHeight = 48;
constexpr int kScopeAreaWidth = 48;
constexpr int kFieldX = 64;
constexpr int kFieldHeight = 28;
constexpr int kEmptyFieldWidth = 120;
constexpr int kRulesMargins = 4;
constexpr int kNoAccessImageSize = 128;

QColor whiteLevel(double level)
{
    return QColor::fromRgbF(level, level, level);
}

void setTextColor(QWidget *widget, const QColor &color)
{
    QPalette pal = widget->palette();
    pal.setColor(QPalette::WindowText, color);
    pal.setColor(QPalette::Text, color);
    widget->setPalette(pal);
}

QPixmap genericFolderIcon(int size)
{
    KZFinderFileIcon::ensureIconTheme();
    QIcon icon = QIcon::fromTheme(QStringLiteral("folder"));
    if (icon.isNull())
        icon = QFileIconProvider().icon(QFileIconProvider::Folder);
    return icon.pixmap(size, size);
}

// The scope checks of the window, time-boxed: a folder on a server that does
// not answer costs one time-box (later checks fail at once) instead of
// freezing the window.
enum class ScopeCheck { Searchable, Missing, NotAFolder, NoAccess, NoAnswer };

ScopeCheck checkScope(const QString &path)
{
    if (path.isEmpty())
        return ScopeCheck::Missing;
    int err = 0;
    const std::optional<ScopeCheck> check = kzplatform::kzCallForPath<ScopeCheck>(
        QFile::encodeName(path), kzplatform::kzDefaultProbeTimeoutMs,
        [path]() {
            kzplatform::KZStat st;
            if (kzplatform::kzStatFollow(QFile::encodeName(path).constData(), &st) != 0)
                return ScopeCheck::Missing;
            if (!S_ISDIR(st.mode))
                return ScopeCheck::NotAFolder;
            return KZFileSearchObject::canStartSearch(path, nullptr) ? ScopeCheck::Searchable : ScopeCheck::NoAccess;
        },
        &err, true);
    return check.value_or(ScopeCheck::NoAnswer);
}

QString applicationTitle()
{
    const QString name = QGuiApplication::applicationDisplayName();
    return name.isEmpty() ? QStringLiteral("Trovix") : name;
}

} // namespace

DocumentWindowController::DocumentWindowController(const std::function<void(DocumentWindow *)> &windowSetup,
                                                   QObject *parent)
    : QObject(parent)
{
    // The first icon of a search would load the icon theme and the MIME
    // database in the middle of the first batch; the first window pays it instead.
    static const bool iconsWarm = [] {
        return !KZFinderFileIcon::workspaceIconForFileAtPath(QStringLiteral("/trovix-warm-up.txt")).pixmap(16).isNull();
    }();
    Q_UNUSED(iconsWarm)
    _rulesEditorViewController.setDelegateController(this);
    m_startTimer.setSingleShot(true);
    m_startTimer.setInterval(kSearchDelay);
    connect(&m_startTimer, &QTimer::timeout, this, &DocumentWindowController::tryStartSearching);
    loadWindow(windowSetup);
}

DocumentWindowController::~DocumentWindowController()
{
    stopSearch();
    // The content views are parented to the window only while shown.
    for (QWidget *view : {m_assistantView, m_noAccessView})
        if (view && view->parentWidget() != m_contentArea)
            delete view;
    if (_resultsViewController && _cContentView == _resultsViewController->view())
        _resultsViewController->view()->setParent(nullptr);
    delete _resultsViewController;
    delete m_window;
}

QThreadPool *DocumentWindowController::searchQueue()
{
    static QThreadPool *queue = [] {
        auto *pool = new QThreadPool;
        pool->setMaxThreadCount(2);
        pool->setStackSize(KZFileSearchWalkStackSize);
        return pool;
    }();
    return queue;
}

void DocumentWindowController::loadWindow(const std::function<void(DocumentWindow *)> &windowSetup)
{
    m_window = new DocumentWindow(this);
    if (windowSetup)
        windowSetup(m_window);
    m_window->setWindowTitle(applicationTitle());
    m_window->resize(720, 480);
    // Where the last closed window stood (the window's frame autosave).
    const QStringList origin = KZUserDefaults::standardUserDefaults().stringForKey(frameOriginKey()).split(QLatin1Char(','));
    if (origin.size() == 2)
        m_window->move(origin.at(0).toInt(), origin.at(1).toInt());
    m_window->keepInsideScreen();

    auto *central = new QWidget(m_window);
    central->setObjectName(QStringLiteral("contentView"));
    central->setMinimumSize(0, 0);
    auto *column = new QVBoxLayout(central);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->setSizeConstraint(QLayout::SetNoConstraint);
    m_window->setCentralWidget(central);

    // The search bar, laid out by hand: the count label follows the text.
    m_searchBar = new SearchBarBgView(central);
    m_searchBar->setObjectName(QStringLiteral("searchBar"));
    m_searchBar->setFixedHeight(kSearchBarHeight);
    column->addWidget(m_searchBar);

    m_scopeArea = new QWidget(m_searchBar);
    m_scopeArea->setObjectName(QStringLiteral("mScopeDirChooser"));
    m_scopeArea->setGeometry(8, (kSearchBarHeight - 40) / 2, kScopeAreaWidth, 40);
    new QHBoxLayout(m_scopeArea);
    m_scopeArea->layout()->setContentsMargins(0, 0, 0, 0);

    m_searchField = new SearchTextField(m_searchBar);
    QFont fieldFont = m_searchField->font();
    fieldFont.setPointSizeF(fieldFont.pointSizeF() * 1.4);
    m_searchField->setFont(fieldFont);
    m_searchField->setTextMargins(0, 0, 0, 0);
    QPalette fieldPalette = m_searchField->palette();
    fieldPalette.setColor(QPalette::Base, Qt::transparent);
    m_searchField->setPalette(fieldPalette);
    m_searchField->setGeometry(kFieldX, (kSearchBarHeight - kFieldHeight) / 2, kEmptyFieldWidth, kFieldHeight);
    connect(m_searchField, &QLineEdit::textEdited, this, &DocumentWindowController::controlTextDidChange);
    connect(m_searchField, &SearchTextField::insertNewline, this, &DocumentWindowController::insertNewline);
    connect(m_searchField, &SearchTextField::cancelOperation, this,
            &DocumentWindowController::searchTextFieldCancelOperation);
    connect(m_searchField, &SearchTextField::moveDown, this, &DocumentWindowController::searchTextFieldMoveDown);
    // Ctrl+F from anywhere in the window goes back to the field.
    new QShortcut(QKeySequence::Find, m_window, [this] {
        m_searchField->setFocus(Qt::ShortcutFocusReason);
        m_searchField->selectAll();
    });

    m_searchPlaceHolder = new QLabel(KZLocalizedString("Search by Name"), m_searchBar);
    m_searchPlaceHolder->setObjectName(QStringLiteral("mSearchPlaceHolder"));
    m_searchPlaceHolder->setFont(fieldFont);
    m_searchPlaceHolder->setAttribute(Qt::WA_TransparentForMouseEvents);
    m_searchPlaceHolder->adjustSize();

    m_searchLabel = new QLabel(m_searchBar);
    m_searchLabel->setObjectName(QStringLiteral("mSearchLabel"));
    m_searchLabel->setFont(fieldFont);

    m_searchingIndicator = new KZSpinnerView(m_searchBar);
    m_searchingIndicator->setObjectName(QStringLiteral("mSearchingIndicator"));
    m_searchingIndicator->resize(16, 16);

    m_searchesOverView = new KZOverView(m_searchBar);
    m_searchesOverView->setObjectName(QStringLiteral("mSearchesOverView"));
    m_searchesOverView->resize(22, 22);
    m_searchesOverView->setDelegator(this);
    m_searchesOverView->setToolTip(KZLocalizedString("Saved Searches"));
    connect(m_searchBar, &SearchBarBgView::resized, this, &DocumentWindowController::layoutSearchBar);

    // The rules editor under the bar; it sets its own height from its rows.
    m_rulesEditorView = new KZRulesEditorView(central);
    m_rulesEditorView->setBgColor(Functions::viewBgColor());
    m_rulesEditorView->setMarginTop(kRulesMargins);
    m_rulesEditorView->setMarginBottom(kRulesMargins);
    m_rulesEditorView->setCanBeEmpty(true);
    m_rulesEditorView->setButtonsPosition(KZRuleEditorRowView::kButtonsAtLeft);
    m_rulesEditorView->resize(m_window->width(), 2 * kRulesMargins);
    column->addWidget(m_rulesEditorView);
    _rulesEditorViewController.setDirPathControllerFactory(
        [] { return std::make_shared<RulesDirPathWidgetController>(); });
    _rulesEditorViewController.setRulesEditorView(m_rulesEditorView);
    _rulesEditorViewController.reloadDataWithScopeDir(QString(), {});
    // Rows replaced by a reload (a new scope, a saved search) resize the
    // window as added and removed rows do.
    connect(m_rulesEditorView, &KZRulesEditorView::reloadDidChangeHeight, this, [this](int offset) {
        rulesEditorViewControllerDidChange(&_rulesEditorViewController,
                                           {{QStringLiteral("kind"), QStringLiteral("rowsChanged")},
                                            {QStringLiteral("rowOffset"), offset}});
    });

    m_contentArea = new QWidget(central);
    m_contentArea->setObjectName(QStringLiteral("contentArea"));
    m_contentArea->setMinimumSize(0, 0);
    auto *contentLayout = new QVBoxLayout(m_contentArea);
    contentLayout->setContentsMargins(0, 0, 0, 0);
    column->addWidget(m_contentArea, 1);

    // Step 3 of the look: grey count label, empty field, placeholder over it.
    setTextColor(m_searchLabel, whiteLevel(0.5));
    setTextColor(m_searchPlaceHolder, whiteLevel(0.7));
    m_searchField->clear();
    // Over the field's own text position: its height, centred, after the
    // line edit's 2-pixel inner margin.
    m_searchPlaceHolder->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    m_searchPlaceHolder->setGeometry(m_searchField->x() + 2, m_searchField->y(),
                                     m_searchPlaceHolder->sizeHint().width(), m_searchField->height());
    layoutSearchBar();

    setIsWindowToggled(true);
    connect(KZNotificationCenter::defaultCenter(), &KZNotificationCenter::fileSearchObjectUpdated, this,
            &DocumentWindowController::n_fileSearchObjectUpdated);
    updateUI();
}

void DocumentWindowController::setScopeDirChooser(DocumentWindowScopeChooser *chooser)
{
    m_scopeChooser = chooser;
    if (chooser && chooser->view())
        m_scopeArea->layout()->addWidget(chooser->view());
    if (m_assistantButton)
        m_assistantButton->setVisible(chooser != nullptr);
    if (m_noAccessButton)
        m_noAccessButton->setVisible(chooser != nullptr);
    stopSearchAndSpinner();
    updateUI();
}

void DocumentWindowController::layoutSearchBar()
{
    const int w = m_searchBar->width();
    const int cy = kSearchBarHeight / 2;
    m_searchesOverView->move(w - 12 - m_searchesOverView->width(), cy - m_searchesOverView->height() / 2);
    m_searchingIndicator->move(m_searchesOverView->x() - 10 - m_searchingIndicator->width(),
                               cy - m_searchingIndicator->height() / 2);
    updateUISearchField();
}

void DocumentWindowController::updateUISearchField()
{
    const QString text = m_searchField->text();
    m_searchPlaceHolder->setHidden(!text.isEmpty());
    const int textWidth = int(std::ceil(m_searchField->fontMetrics().horizontalAdvance(text)));
    // Room for the cursor and a few characters more.
    const int fieldWidth = text.isEmpty() ? kEmptyFieldWidth : textWidth + 40;
    m_searchField->resize(fieldWidth, m_searchField->height());
    double labelX;
    if (!text.isEmpty()) {
        labelX = m_searchField->x() + textWidth;
    } else {
        if (_searchPlaceHolderSz == 0.0)
            _searchPlaceHolderSz = m_searchPlaceHolder->fontMetrics().horizontalAdvance(m_searchPlaceHolder->text());
        labelX = m_searchPlaceHolder->x() + _searchPlaceHolderSz;
    }
    labelX += 6;
    m_searchLabel->adjustSize();
    const int maxRight = m_searchingIndicator->x() - 8;
    m_searchLabel->setGeometry(int(labelX), (kSearchBarHeight - m_searchLabel->height()) / 2,
                               qMax(0, qMin(m_searchLabel->width(), maxRight - int(labelX))), m_searchLabel->height());
}

void DocumentWindowController::updateUISearchLabelInfo(const QString &text)
{
    if (text.isEmpty()) {
        m_searchLabel->clear();
        m_searchLabel->hide();
        return;
    }
    m_searchLabel->setText(QStringLiteral("\u2014 ") + text);
    m_searchLabel->show();
    updateUISearchField();
}

void DocumentWindowController::setCanSearch(bool canSearch)
{
    m_searchField->setEnabled(canSearch);
    if (m_rulesEditorView->isHidden() == !canSearch)
        return;
    m_rulesEditorView->setHidden(!canSearch);
    applyCollapsedSize();
}

void DocumentWindowController::applyCollapsedSize()
{
    if (!m_window->isToogle())
        return;
    const QSize screen = screenSize();
    const int collapsed = collapsedHeight();
    m_window->setMinimumSize(kMinExpandedWidth, collapsed);
    m_window->setMaximumSize(screen.isValid() ? screen.width() : 1000, collapsed);
    m_window->resize(m_window->width(), collapsed);
    m_window->keepInsideScreen();
}

void DocumentWindowController::updateResults(const QString &scopeDir, KZFileSearchObject *searchObject)
{
    if (!_resultsViewController) {
        _resultsViewController = new ResultsViewController;
        _resultsViewController->setDelegateController(this);
        // Escape in the results returns to the field, its text kept.
        new QShortcut(QKeySequence(Qt::Key_Escape), _resultsViewController->view(),
                      [this] { m_searchField->setFocus(Qt::ShortcutFocusReason); }, Qt::WidgetWithChildrenShortcut);
    }
    _resultsViewController->updateUI(scopeDir, searchObject);
}

void DocumentWindowController::updateUI()
{
    if (_searchObject)
        KZLOG_CRITICAL_M(QStringLiteral("_searchObject!=nil"));

    ScopeDirManager *manager = ScopeDirManager::sharedInstance();
    const qint64 kind = manager->selectionKind();
    const ScopeDirManager::SelectionObject object = manager->selectionObject();
    QString path;
    bool valid = false;
    std::optional<ScopeCheck> pathCheck;
    bool noAnswer = false;
    if (kind == ScopeDirManager::SelectionFavorite && std::holds_alternative<std::shared_ptr<FavoriteDir>>(object) &&
        std::get<std::shared_ptr<FavoriteDir>>(object)) {
        const auto favorite = std::get<std::shared_ptr<FavoriteDir>>(object);
        valid = favorite->updateStatus() == 1;
        noAnswer = !valid && favorite->isVolumeUnavailable();
        path = favorite->path();
    } else if (kind == ScopeDirManager::SelectionPath && std::holds_alternative<QString>(object)) {
        path = std::get<QString>(object);
        pathCheck = checkScope(path);
        valid = *pathCheck != ScopeCheck::Missing && *pathCheck != ScopeCheck::NoAnswer;
        noAnswer = *pathCheck == ScopeCheck::NoAnswer;
    } else if (kind == ScopeDirManager::SelectionHome) {
        path = ScopeDirManager::homeDirPath();
        valid = true;
    }
    _scopeDir = path;
    _isValid = valid;

    if (path.isEmpty()) {
        m_window->setWindowTitle(applicationTitle());
    } else {
        QString title = path;
        const QString home = QDir::homePath();
        if (path == home)
            title = QStringLiteral("~");
        else if (path.startsWith(home + QLatin1Char('/')))
            title = QStringLiteral("~") + path.mid(home.size());
        m_window->setWindowTitle(title == QStringLiteral("~") ? path : title);
    }

    if (m_scopeChooser)
        m_scopeChooser->updateUIWithScopeKind(kind, valid ? object : ScopeDirManager::SelectionObject());

    updateUISearchField();
    m_searchLabel->hide();
    setCanSearch(false);
    updateResults(path, nullptr);
    setShowResults(false);

    if (path.isEmpty()) {
        setIsWindowToggled(false);
        showAssistant();
        return;
    }
    const ScopeCheck check = noAnswer ? ScopeCheck::NoAnswer
                             : !valid ? ScopeCheck::Missing
                                      : pathCheck ? *pathCheck : checkScope(path);
    if (check == ScopeCheck::NoAnswer) {
        setIsWindowToggled(false);
        showNoAccess(KZLocalizedString("This directory does not respond."), QString());
        return;
    }
    if (!valid || check == ScopeCheck::Missing) {
        setIsWindowToggled(false);
        showNoAccess(KZLocalizedString("This directory does not exist."), QString());
        return;
    }
    if (check == ScopeCheck::NotAFolder) {
        setIsWindowToggled(false);
        showNoAccess(KZLocalizedString("Current scope is not a directory."), QString());
        return;
    }
    if (check != ScopeCheck::Searchable) {
        setIsWindowToggled(false);
        showNoAccess(KZLocalizedString("You do not have permissions to view this directory."), path);
        return;
    }
    setCanSearch(true);
    // The editor starts empty again: a saved search loaded here before is no
    // longer what it shows, and "Save" must not replace (or remove) it with that.
    if (m_loadedSavedSearch) {
        m_loadedSavedSearch = false;
        SavedSearches::sharedInstance()->setSelectedSavedSearch(nullptr);
    }
    _rulesEditorViewController.reloadDataWithScopeDir(path, {});
    m_searchField->setFocus();
}

void DocumentWindowController::showAssistant()
{
    setIsWindowToggled(false);
    if (!m_assistantView) {
        m_assistantView = new QWidget;
        m_assistantView->setObjectName(QStringLiteral("assistantView"));
        auto *layout = new QVBoxLayout(m_assistantView);
        layout->setContentsMargins(40, 30, 40, 30);
        m_assistantDnDView = new AssistantDaDView(m_assistantView);
        m_assistantDnDView->setDelegatorController(this);
        auto *inner = new QVBoxLayout(m_assistantDnDView);
        inner->addStretch(1);
        m_accessMsgLabel = new QLabel(KZLocalizedString("Drop a folder here to search in it."), m_assistantDnDView);
        m_accessMsgLabel->setObjectName(QStringLiteral("accessMsgLabel"));
        m_accessMsgLabel->setAlignment(Qt::AlignCenter);
        QFont big = m_accessMsgLabel->font();
        big.setPointSizeF(big.pointSizeF() * 1.3);
        m_accessMsgLabel->setFont(big);
        setTextColor(m_accessMsgLabel, whiteLevel(0.67));
        inner->addWidget(m_accessMsgLabel);
        m_assistantButton = new QPushButton(KZLocalizedString("Choose a Folder…"), m_assistantDnDView);
        m_assistantButton->setObjectName(QStringLiteral("assistantChangeButton"));
        m_assistantButton->setVisible(m_scopeChooser != nullptr);
        connect(m_assistantButton, &QPushButton::clicked, this, &DocumentWindowController::assistantChangeAction);
        inner->addWidget(m_assistantButton, 0, Qt::AlignHCenter);
        inner->addStretch(1);
        layout->addWidget(m_assistantDnDView);
    }
    showContentView(m_assistantView);
}

void DocumentWindowController::showNoAccess(const QString &message, const QString &iconPath)
{
    if (!m_noAccessView) {
        m_noAccessView = new QWidget;
        m_noAccessView->setObjectName(QStringLiteral("noAccessView"));
        auto *layout = new QVBoxLayout(m_noAccessView);
        layout->addStretch(1);
        m_noAccessImageView = new QLabel(m_noAccessView);
        m_noAccessImageView->setObjectName(QStringLiteral("noAccessImageView"));
        m_noAccessImageView->setFixedSize(kNoAccessImageSize, kNoAccessImageSize);
        layout->addWidget(m_noAccessImageView, 0, Qt::AlignHCenter);
        m_noAccessMesg = new QLabel(m_noAccessView);
        m_noAccessMesg->setObjectName(QStringLiteral("noAccessMesg"));
        m_noAccessMesg->setAlignment(Qt::AlignCenter);
        m_noAccessMesg->setWordWrap(true);
        layout->addWidget(m_noAccessMesg);
        m_noAccessButton = new QPushButton(KZLocalizedString("Choose Another Folder…"), m_noAccessView);
        m_noAccessButton->setObjectName(QStringLiteral("noAccessChangeButton"));
        m_noAccessButton->setVisible(m_scopeChooser != nullptr);
        connect(m_noAccessButton, &QPushButton::clicked, this, &DocumentWindowController::noAccessChangeAction);
        layout->addWidget(m_noAccessButton, 0, Qt::AlignHCenter);
        layout->addStretch(1);
    }
    m_noAccessMesg->setText(message);
    const QPixmap icon = iconPath.isEmpty()
                             ? genericFolderIcon(m_noAccessImageView->height())
                             : KZFinderFileIcon::iconForFileAtPathWithSize(iconPath, m_noAccessImageView->width());
    m_noAccessImageView->setPixmap(Functions::offImageFromImage(icon));
    showContentView(m_noAccessView);
}

void DocumentWindowController::controlTextDidChange()
{
    stopSearch();
    m_searchingIndicator->stopAnimation();
    updateUISearchField();
    m_searchLabel->hide();
    // Each keystroke restarts the wait.
    m_startTimer.start();
}

void DocumentWindowController::searchTextFieldMoveDown()
{
    if (!_resultsViewController || _cContentView != _resultsViewController->view())
        return;
    ResultsListViewController *list = _resultsViewController->resultsListViewController();
    if (!list || list->model()->rowCount() == 0)
        return;
    QTableView *table = list->mTableView();
    if (!table->currentIndex().isValid())
        table->selectRow(0);
    table->setFocus(Qt::TabFocusReason);
}

bool DocumentWindowController::insertNewline()
{
    tryStartSearching();
    return true;
}

void DocumentWindowController::searchTextFieldCancelOperation()
{
    m_startTimer.stop();
    m_searchField->clear();
    stopSearch();
    m_searchingIndicator->stopAnimation();
    setIsWindowToggled(true);
    updateUI();
}

int DocumentWindowController::evaluateStartableSearch(QString *scopeDir, QVariantList *criteria)
{
    if (_scopeDir.isEmpty() || !_isValid || checkScope(_scopeDir) != ScopeCheck::Searchable)
        return -1;
    QVariantList list = KZFileNameCriteriaFromSearchText(m_searchField->text());
    list += rulesCanonizedCriteria();
    QStringList excluded;
    for (const QVariant &entry : ScopeDirManager::sharedInstance()->excludedDirs()) {
        const QVariantMap map = entry.toMap();
        if (map.value(QStringLiteral("state")).toBool())
            excluded.append(map.value(QStringLiteral("path")).toString());
    }
    if (!excluded.isEmpty())
        list.append(QVariantMap{{QStringLiteral("kind"), 10}, {QStringLiteral("operator"), 5},
                                {QStringLiteral("value"), excluded}});
    if (const QVariantMap names = KZSkippedDirNamesCriterion(ScopeDirManager::sharedInstance()->activeExcludedNames());
        !names.isEmpty())
        list.append(names);
    if (!KZFileSearchObject::hasUsableCriteria(list))
        return 0;
    if (scopeDir)
        *scopeDir = _scopeDir;
    if (criteria)
        *criteria = list;
    return 1;
}

QVariantList DocumentWindowController::rulesCanonizedCriteria() const
{
    return _rulesEditorViewController.canonizedCriteria();
}

KZRuleRows DocumentWindowController::rulesEditorViewCriteria() const
{
    KZRulesEditorViewInterface *view = _rulesEditorViewController.rulesEditorView();
    return view ? view->criteria() : KZRuleRows();
}

void DocumentWindowController::rulesEditorViewControllerDidChange(RulesEditorViewController *,
                                                                  const QVariantMap &change)
{
    const QString kind = change.value(QStringLiteral("kind")).toString();
    if (kind == QLatin1String("criteriaChanged")) {
        m_startTimer.stop();
        stopSearch();
        m_searchingIndicator->stopAnimation();
        tryStartSearching();
    } else if (kind == QLatin1String("rowsChanged")) {
        const int offset = qRound(change.value(QStringLiteral("rowOffset")).toDouble());
        if (offset == 0)
            return;
        // Qt's y grows downwards: keeping the top edge means only the height changes.
        if (m_window->isToogle()) {
            m_window->setMinimumHeight(m_window->minimumHeight() + offset);
            m_window->setMaximumHeight(m_window->maximumHeight() + offset);
        }
        m_window->resize(m_window->width(), m_window->height() + offset);
        m_window->keepInsideScreen();
        updateFrameOfContentView();
    }
}

void DocumentWindowController::tryStartSearching()
{
    stopSearchAndSpinner();
    updateUISearchField();
    m_searchLabel->hide();
    QString scope;
    QVariantList criteria;
    const int verdict = evaluateStartableSearch(&scope, &criteria);
    if (verdict == 1) {
        startSearch(scope, criteria);
        m_searchingIndicator->startAnimation();
        updateResults(scope, _searchObject);
    } else if (verdict == 0) {
        m_searchingIndicator->stopAnimation();
        updateResults(QString(), nullptr);
        setShowResults(false);
        setIsWindowToggled(true, true);
    } else {
        updateUI();
    }
}

void DocumentWindowController::startSearch(const QString &scopeDir, const QVariantList &criteria)
{
    if (_searchObject)
        KZLOG_CRITICAL_M(QStringLiteral("_searchObject!=nil"));
    stopSearch();
    _searchObject = new KZFileSearchObject(this);
    _searchObject->setScopeDir(scopeDir);
    _searchObject->setCriteria(criteria);
    ++m_searchCount;
    _searchObject->startSearch(searchQueue());
}

void DocumentWindowController::stopSearchAndSpinner()
{
    m_startTimer.stop();
    stopSearch();
    m_searchingIndicator->stopAnimation();
}

void DocumentWindowController::stopSearch()
{
    if (!_searchObject)
        return;
    _searchObject->stopSearch();
    // The results view may still show its results: it drops its reference
    // when the session goes (a guarded pointer).
    _searchObject->deleteLater();
    _searchObject = nullptr;
}

void DocumentWindowController::n_fileSearchObjectUpdated(QObject *object, const QVariantMap &userInfo)
{
    if (!object || object != _searchObject)
        return;
    const int kind = userInfo.value(QStringLiteral("kind")).toInt();
    if (kind == 2) {
        if (_searchObject->unreadableFolderCount() > 0 || _searchObject->skippedLongPathCount() > 0)
            KZLOG_WARNING_M(QStringLiteral("unreadableFolders:%1 skippedLongPaths:%2 scopeDir:%3")
                                .arg(_searchObject->unreadableFolderCount())
                                .arg(_searchObject->skippedLongPathCount())
                                .arg(_searchObject->scopeDir()));
        const qsizetype count = _searchObject->results().size();
        const QString stats = _searchObject->displayStatistics();
        updateUISearchLabelInfo(count > 0 && !stats.isEmpty() ? stats : KZLocalizedString("No File"));
        m_searchingIndicator->stopAnimation();
        setShowResults(count > 0);
        setIsWindowToggled(count == 0);
    } else if (kind == 1) {
        updateUISearchLabelInfo(_searchObject->displayStatistics());
        setIsWindowToggled(false);
        setShowResults(true);
    }
    if (_resultsViewController)
        _resultsViewController->not_fileSearchObjectDidUpdated(object, userInfo);
}

QSize DocumentWindowController::screenSize() const
{
    QScreen *screen = m_window->screen();
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    return screen ? screen->availableGeometry().size() : QSize();
}

int DocumentWindowController::collapsedHeight() const
{
    int height = kSearchBarHeight + int(_wTitleSz);
    if (QWidget *menu = m_window->menuWidget())
        height += menu->sizeHint().height();
    if (!m_rulesEditorView->isHidden())
        height += m_rulesEditorView->height();
    return height;
}

bool DocumentWindowController::isWindowToggled() const
{
    return m_window->isToogle();
}

void DocumentWindowController::setIsWindowToggled(bool toggled, bool animated)
{
    Q_UNUSED(animated) // the frame is applied at once either way
    if (m_window->isToogle() == toggled)
        return;
    m_window->setIsToogle(toggled);
    const QSize screen = screenSize();
    const QRect frame = m_window->geometry();
    const int collapsed = collapsedHeight();
    if (toggled) {
        _prevWinSize = frame.size();
        m_window->setMinimumSize(kMinExpandedWidth, collapsed);
        m_window->setMaximumSize(screen.isValid() ? screen.width() : 1000, collapsed);
        m_window->resize(kMinExpandedWidth, collapsed);
    } else {
        int width = _prevWinSize.width();
        int height = _prevWinSize.height();
        if (width < kMinExpandedWidth)
            width = kMinExpandedWidth;
        if (height < kMinExpandedHeight)
            height = kMinExpandedHeight;
        _prevWinSize = QSize(width, height);
        m_window->setMaximumSize(screen.isValid() ? screen : QSize(1000, 1000));
        m_window->setMinimumSize(kMinExpandedWidth, kMinExpandedHeight);
        m_window->resize(width, height);
    }
    m_window->keepInsideScreen();
    updateFrameOfContentView();
}

void DocumentWindowController::showContentView(QWidget *view)
{
    if (view == _cContentView)
        return;
    if (_cContentView) {
        m_contentArea->layout()->removeWidget(_cContentView);
        _cContentView->hide();
        _cContentView->setParent(nullptr);
    }
    _cContentView = view;
    if (view) {
        view->setParent(m_contentArea);
        m_contentArea->layout()->addWidget(view);
        view->show();
    }
}

void DocumentWindowController::updateFrameOfContentView()
{
    // The content area's layout sizes the view; only a pending layout is flushed.
    if (m_contentArea->layout())
        m_contentArea->layout()->activate();
}

void DocumentWindowController::setShowResults(bool show)
{
    if (!_resultsViewController)
        updateResults(_scopeDir, _searchObject);
    if (show) {
        showContentView(_resultsViewController->view());
    } else {
        showContentView(nullptr);
    }
    _resultsViewController->setHasResults(true);
}

void DocumentWindowController::showWindowAnimated()
{
    if (!m_window->isVisible()) {
        _isWinShowing = true;
        m_window->setWindowOpacity(0.0);
        m_window->show();
        m_window->raise();
        m_window->activateWindow();
        if (m_fade)
            m_fade->stop();
        m_fade = new QPropertyAnimation(m_window, "windowOpacity", this);
        m_fade->setDuration(kFadeDuration);
        m_fade->setStartValue(0.0);
        m_fade->setEndValue(1.0);
        connect(m_fade, &QPropertyAnimation::finished, this, [this] {
            _isWinShowing = false;
            if (m_window->windowOpacity() < 1.0)
                m_window->setWindowOpacity(1.0);
        });
        m_fade->start(QAbstractAnimation::DeleteWhenStopped);
    } else if (!_isWinShowing && m_window->windowOpacity() < 1.0) {
        if (m_fade)
            m_fade->stop();
        m_window->setWindowOpacity(1.0);
    }
}

void DocumentWindowController::hideWindowAnimated()
{
    bool sheetOpen = false;
    for (QDialog *dialog : m_window->findChildren<QDialog *>(Qt::FindDirectChildrenOnly))
        sheetOpen = sheetOpen || dialog->isVisible();
    if (sheetOpen || (_cContentView && _cContentView == m_assistantView))
        return;
    if (m_fade)
        m_fade->stop();
    _isWinShowing = false;
    m_fade = new QPropertyAnimation(m_window, "windowOpacity", this);
    m_fade->setDuration(kFadeDuration);
    m_fade->setStartValue(m_window->windowOpacity());
    m_fade->setEndValue(0.0);
    connect(m_fade, &QPropertyAnimation::finished, this, [this] { m_window->hide(); });
    m_fade->start(QAbstractAnimation::DeleteWhenStopped);
}

void DocumentWindowController::scopeDirChooserAction(const QVariantMap &info)
{
    if (info.value(QStringLiteral("kind")).toInt() != 1)
        return;
    stopSearchAndSpinner();
    setIsWindowToggled(true);
    updateUI();
}

bool DocumentWindowController::assistantDnDViewProposeURL(const QUrl &url)
{
    if (!ScopeDirManager::sharedInstance()->proposeSelectionWithDirURL(url))
        return false;
    stopSearchAndSpinner();
    setIsWindowToggled(true);
    updateUI();
    return true;
}

void DocumentWindowController::noAccessChangeAction()
{
    if (m_scopeChooser)
        m_scopeChooser->presentOpenPanel();
}

void DocumentWindowController::assistantChangeAction()
{
    if (m_scopeChooser)
        m_scopeChooser->presentOpenPanel();
}

QString DocumentWindowController::frameOriginKey()
{
    return QStringLiteral("DocumentWindowController-frameOrigin");
}

void DocumentWindowController::windowWillClose()
{
    KZUserDefaults::standardUserDefaults().setObject(
        QStringLiteral("%1,%2").arg(m_window->x()).arg(m_window->y()), frameOriginKey());
    stopSearchAndSpinner();
    if (m_delegateController)
        m_delegateController->documentWindowControllerDidEnd(this);
}

void DocumentWindowController::windowDidResize()
{
    if (m_searchBar)
        layoutSearchBar();
    if (_resultsViewController)
        _resultsViewController->not_windowDidResize();
}

void DocumentWindowController::windowDidBecomeMain()
{
    if (_resultsViewController)
        _resultsViewController->not_windowDidBecomeMain();
}

bool DocumentWindowController::documentWindowValidateMenuItem(QAction *item)
{
    if (!m_window->isActiveWindow())
        return false;
    auto *responder = dynamic_cast<DocumentWindowValidateMenuItem *>(m_window->focusWidget());
    return responder && responder->documentWindowValidateMenuItem(item);
}

void DocumentWindowController::documentWindowPerformMenuItem(QAction *item)
{
    if (auto *responder = dynamic_cast<DocumentWindowValidateMenuItem *>(m_window->focusWidget()))
        responder->documentWindowPerformMenuItem(item);
}

void DocumentWindowController::overViewDrawRect(KZOverView *, QPainter *painter, const QRect &rect, int)
{
    // The design fills the button with the system orange in every state.
    painter->setRenderHint(QPainter::Antialiasing);
    painter->fillRect(rect, QColor(255, 149, 0));
    painter->setPen(QPen(Qt::white, 1.6));
    const QPointF c = QRectF(rect).center();
    painter->drawLine(QPointF(c.x() - 4, c.y() - 1.5), QPointF(c.x(), c.y() + 2.5));
    painter->drawLine(QPointF(c.x(), c.y() + 2.5), QPointF(c.x() + 4, c.y() - 1.5));
}

void DocumentWindowController::overViewDidPressed(KZOverView *view, const QVariantMap &info)
{
    if (info.value(QStringLiteral("isRightClick")).toBool())
        return;
    QMenu *menu = savedSearchesMenu();
    QAction *chosen = view->displayMenu(menu, true);
    view->cleanAllStates();
    if (chosen)
        mi_savedSearches(chosen);
    menu->deleteLater();
}

QMenu *DocumentWindowController::savedSearchesMenu()
{
    SavedSearches *saved = SavedSearches::sharedInstance();
    auto *menu = new QMenu(m_window);
    menu->setObjectName(QStringLiteral("searches-menu"));
    menu->setTitle(QStringLiteral("searches-menu"));
    QFont small = menu->font();
    small.setPointSizeF(small.pointSizeF() * 0.9);
    menu->setFont(small);
    const SavedSearchRef selected = saved->selectedSavedSearch();
    QAction *save = menu->addAction(KZLocalizedString("Save"));
    save->setData(1);
    save->setEnabled(selected != nullptr);
    QAction *saveAs = menu->addAction(KZLocalizedString("Save As…"));
    saveAs->setData(2);
    saveAs->setEnabled(!rulesEditorViewCriteria().isEmpty());
    const QList<SavedSearchRef> searches = saved->savedSearches();
    if (!searches.isEmpty())
        menu->addSeparator();
    for (const SavedSearchRef &search : searches) {
        QAction *item = menu->addAction(search->name);
        item->setData(3);
        item->setProperty("uniqueId", search->uniqueId);
        item->setCheckable(true);
        item->setChecked(selected && selected->uniqueId == search->uniqueId);
    }
    return menu;
}

void DocumentWindowController::mi_savedSearches(QAction *item)
{
    SavedSearches *saved = SavedSearches::sharedInstance();
    switch (item->data().toInt()) {
    case 1: {
        const SavedSearchRef selected = saved->selectedSavedSearch();
        if (!selected)
            return;
        const KZRuleRows rows = rulesEditorViewCriteria();
        if (!rows.isEmpty())
            saved->replaceCriteriaOfSavedSearch(selected, rows);
        else
            confirmRemovingSavedSearch(selected);
        break;
    }
    case 2:
        openSaveSearchSheet();
        break;
    case 3:
        loadSavedSearch(saved->savedSearchWithUniqueId(item->property("uniqueId").toLongLong()));
        break;
    default:
        break;
    }
}

void DocumentWindowController::confirmRemovingSavedSearch(const SavedSearchRef &record)
{
    auto *box = new QMessageBox(QMessageBox::Warning, KZLocalizedString("Saved Searches"),
                                KZStringWithFormat(KZLocalizedString("Remove the saved search “%@”?"), {record->name}),
                                QMessageBox::NoButton, m_window);
    box->setObjectName(QStringLiteral("removeSavedSearchAlert"));
    QPushButton *remove = box->addButton(KZLocalizedString("Remove"), QMessageBox::DestructiveRole);
    box->setDefaultButton(box->addButton(KZLocalizedString("Cancel"), QMessageBox::RejectRole));
    box->setWindowModality(Qt::WindowModal);
    box->setAttribute(Qt::WA_DeleteOnClose);
    connect(box, &QMessageBox::finished, this, [box, remove, record] {
        if (box->clickedButton() == remove)
            SavedSearches::sharedInstance()->removeSavedSearches(record);
    });
    box->open();
}

void DocumentWindowController::loadSavedSearch(const SavedSearchRef &record)
{
    if (!record)
        return;
    SavedSearches::sharedInstance()->setSelectedSavedSearch(record);
    m_loadedSavedSearch = true;
    // The editor edits its rows in place: it gets a copy, so the stored rows
    // change only through "Save".
    _rulesEditorViewController.reloadDataWithScopeDir(_scopeDir, kzDetachedRuleRows(record->criteria));
    stopSearchAndSpinner();
    tryStartSearching();
}

void DocumentWindowController::openSaveSearchSheet()
{
    if (!m_ssSheet) {
        m_ssSheet = new QDialog(m_window);
        m_ssSheet->setObjectName(QStringLiteral("saveSearchSheet"));
        m_ssSheet->setWindowTitle(KZLocalizedString("Save Search"));
        m_ssSheet->setWindowModality(Qt::WindowModal);
        auto *form = new QFormLayout(m_ssSheet);
        m_ssField = new QLineEdit(m_ssSheet);
        m_ssField->setObjectName(QStringLiteral("mSsField"));
        form->addRow(KZLocalizedString("Name:"), m_ssField);
        auto *buttons = new QDialogButtonBox(m_ssSheet);
        m_ssOkButton = buttons->addButton(KZLocalizedString("OK"), QDialogButtonBox::AcceptRole);
        m_ssOkButton->setObjectName(QStringLiteral("mSsOkButton"));
        m_ssOkButton->setDefault(true);
        m_ssCancelButton = buttons->addButton(KZLocalizedString("Cancel"), QDialogButtonBox::RejectRole);
        form->addRow(buttons);
        // The buttons decide; the dialog's own accept/reject would close it blind.
        connect(buttons, &QDialogButtonBox::clicked, this, &DocumentWindowController::saveSearchAction);
        disconnect(buttons, &QDialogButtonBox::accepted, m_ssSheet, nullptr);
        disconnect(buttons, &QDialogButtonBox::rejected, m_ssSheet, nullptr);
    }
    m_ssField->clear();
    m_ssSheet->open();
}

void DocumentWindowController::saveSearchAction(QAbstractButton *sender)
{
    if (!m_ssSheet)
        return;
    if (sender == m_ssOkButton) {
        const QString name = m_ssField->text().trimmed();
        const KZRuleRows rows = rulesEditorViewCriteria();
        if (name.isEmpty() || rows.isEmpty())
            return;
        SavedSearches::sharedInstance()->addSavedSearches(kzMakeSavedSearch(name, rows));
    }
    m_ssSheet->hide();
}
