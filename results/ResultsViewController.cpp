#include "results/ResultsViewController.h"

#include <QMouseEvent>
#include <QPainter>
#include <QSplitterHandle>
#include <QUrl>
#include <QVBoxLayout>
#include <QWidget>

#include "engine/KZFileSearchObject.h"
#include "results/FileMdItemViewController.h"
#include "results/FilePreviewView.h"
#include "results/Functions.h"
#include "results/QuickLookPanel.h"
#include "results/ResultsListTableView.h"

namespace {

// The pane's first width: two fifths of the view.
constexpr int kInitialDetailsShare = 5;

// A divider whose dragged positions go through its split view's constraint.
class ContentMainSplitHandle : public QSplitterHandle
{
public:
    ContentMainSplitHandle(Qt::Orientation orientation, ContentMainSplitView *parent)
        : QSplitterHandle(orientation, parent), m_split(parent) {}

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter(this).fillRect(rect(), Functions::sepLineColor());
    }
    void mousePressEvent(QMouseEvent *event) override
    {
        m_offset = int(event->position().x());
        QSplitterHandle::mousePressEvent(event);
    }
    void mouseMoveEvent(QMouseEvent *event) override
    {
        if (!(event->buttons() & Qt::LeftButton))
            return QSplitterHandle::mouseMoveEvent(event);
        const int pos = m_split->mapFromGlobal(event->globalPosition().toPoint()).x() - m_offset;
        moveSplitter(closestLegalPosition(m_split->constrainSplitPosition(pos)));
    }

private:
    ContentMainSplitView *m_split;
    int m_offset = 0;
};

} // namespace

ContentMainSplitView::ContentMainSplitView(QWidget *parent)
    : QSplitter(Qt::Horizontal, parent)
{
    setObjectName(QStringLiteral("ContentMainSplitView"));
    setChildrenCollapsible(false);
    setOpaqueResize(true);
    setHandleWidth(1);
}

QSplitterHandle *ContentMainSplitView::createHandle()
{
    return new ContentMainSplitHandle(orientation(), this);
}

int ContentMainSplitView::constrainSplitPosition(int proposed) const
{
    int position = qMax(proposed, kMinListWidth);
    if (width() - position - handleWidth() < kMinDetailsWidth)
        position = width() - kMinDetailsWidth - handleWidth();
    return position;
}

void ContentMainSplitView::enforceMinimumPaneWidths()
{
    if (count() != 2)
        return;
    const QList<int> widths = sizes();
    const int total = widths.at(0) + widths.at(1);
    if (widths.at(0) < kMinListWidth)
        setSizes({kMinListWidth, qMax(0, total - kMinListWidth)});
    else if (widths.at(1) < kMinDetailsWidth)
        setSizes({qMax(0, total - kMinDetailsWidth), kMinDetailsWidth});
}

void ContentMainSplitView::resizeEvent(QResizeEvent *event)
{
    // The stretch factors give every change to the list; then the minimums.
    QSplitter::resizeEvent(event);
    enforceMinimumPaneWidths();
}

SplitDetailsBgView::SplitDetailsBgView(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("SplitDetailsBgView"));
}

void SplitDetailsBgView::paintEvent(QPaintEvent *)
{
    QPainter(this).fillRect(rect(), Functions::viewBgColor());
}

void SplitDetailsBgView::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    for (QWidget *child : findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly))
        child->setGeometry(rect());
}

ResultsViewController::ResultsViewController(QObject *parent)
    : QObject(parent)
{
}

ResultsViewController::~ResultsViewController()
{
    // The list's view and the metadata table may sit in ours; their
    // controllers delete them first.
    delete m_listController;
    delete m_fileMdItemViewController;
    if (m_splitView && !m_splitView->parent())
        delete m_splitView;
    delete m_view;
}

QWidget *ResultsViewController::view()
{
    if (!m_view) {
        m_view = new QWidget;
        m_view->setObjectName(QStringLiteral("ResultsViewController"));
        auto *layout = new QVBoxLayout(m_view);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSpacing(0);
    }
    return m_view;
}

bool ResultsViewController::isSplitViewShown() const
{
    return m_splitView && m_view && m_splitView->parentWidget() == m_view;
}

bool ResultsViewController::isListShown() const
{
    if (!m_listController || !m_listController->isViewLoaded() || !m_view)
        return false;
    QWidget *parent = m_listController->view()->parentWidget();
    return parent == m_view || (parent && parent == m_splitView && isSplitViewShown());
}

void ResultsViewController::updateUI(const QString &scopeDir, KZFileSearchObject *searchObject)
{
    m_scopeDir = scopeDir;
    m_searchObject = searchObject;
    if (!scopeDir.isEmpty() && !m_listController) {
        m_listController = new ResultsListViewController;
        m_listController->setDelegateController(this);
        m_listController->setQuickLookPanel(QuickLookPanel::sharedPanel());
    }
    if (m_listController)
        m_listController->updateUI(scopeDir, searchObject);
    updateUIDetails();
}

void ResultsViewController::setHasResults(bool hasResults)
{
    if (!hasResults) {
        if (isListShown()) {
            if (m_listController->view()->parentWidget() == m_view)
                m_view->layout()->removeWidget(m_listController->view());
            m_listController->view()->setParent(nullptr);
        }
    } else if (!m_hasResults && m_listController && !isListShown()) {
        if (isSplitViewShown()) {
            m_view->layout()->removeWidget(m_splitView);
            m_splitView->setParent(nullptr);
        }
        view()->layout()->addWidget(m_listController->view());
        m_listController->view()->show();
        m_hasResults = hasResults;
        // The pane the list's menu still shows as chosen comes back with the list.
        if (m_detailsViewMode != 0)
            updateUIDetails();
        return;
    }
    m_hasResults = hasResults;
}

void ResultsViewController::placeDetailsView(QWidget *detailsView)
{
    if (!detailsView)
        return;
    for (QWidget *child : m_detailsPane->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly)) {
        if (child != detailsView)
            child->hide();
    }
    if (detailsView->parentWidget() != m_detailsPane)
        detailsView->setParent(m_detailsPane);
    detailsView->setGeometry(m_detailsPane->rect());
    detailsView->show();
}

QWidget *ResultsViewController::detailsViewForMode(int mode)
{
    if (mode == 2) {
        if (!m_fileMdItemViewController)
            m_fileMdItemViewController = new FileMdItemViewController(this);
        return m_fileMdItemViewController->view();
    }
    if (mode == 1) {
        if (!m_fileTreePreviewView) {
            m_fileTreePreviewView = new FilePreviewView(m_detailsPane);
            m_fileTreePreviewView->resize(m_detailsPane->size());
        }
        return m_fileTreePreviewView;
    }
    return nullptr;
}

void ResultsViewController::updateUIDetails()
{
    if (!m_listController || !m_listController->isViewLoaded())
        return;
    QWidget *listView = m_listController->view();
    if (m_detailsViewMode == 0) {
        if (isSplitViewShown()) {
            m_view->layout()->removeWidget(m_splitView);
            m_splitView->hide();
            m_splitView->setParent(nullptr);
            if (listView->parentWidget() == m_splitView) {
                listView->setParent(m_view);
                m_view->layout()->addWidget(listView);
                listView->show();
            }
        }
        return;
    }
    if (m_detailsViewMode != 1 && m_detailsViewMode != 2)
        return;
    if (isSplitViewShown()) {
        placeDetailsView(detailsViewForMode(m_detailsViewMode));
    } else {
        // Only a list on screen gets a pane beside it.
        if (listView->parentWidget() != m_view)
            return;
        if (!m_splitView) {
            m_splitView = new ContentMainSplitView;
            m_detailsPane = new SplitDetailsBgView;
            m_splitView->addWidget(m_detailsPane);
            m_splitView->setStretchFactor(0, 1);
            m_splitView->setStretchFactor(1, 0);
        }
        m_view->layout()->removeWidget(listView);
        m_splitView->resize(m_view->size());
        m_splitView->insertWidget(0, listView);
        m_splitView->setStretchFactor(0, 1);
        m_splitView->setStretchFactor(1, 0);
        const int total = m_view->width() - m_splitView->handleWidth();
        const int detailsWidth = total * 2 / kInitialDetailsShare;
        m_splitView->setSizes({total - detailsWidth, detailsWidth});
        m_splitView->setParent(m_view);
        m_view->layout()->addWidget(m_splitView);
        m_splitView->show();
        listView->show();
        placeDetailsView(detailsViewForMode(m_detailsViewMode));
        m_splitView->enforceMinimumPaneWidths();
    }
    const QString path = m_detailsSelection.value(QStringLiteral("path")).toString();
    const bool isRegular = m_detailsSelection.value(QStringLiteral("isRegular")).toBool();
    if (m_detailsViewMode == 2)
        m_fileMdItemViewController->updateUIWithFilePath(path, isRegular);
    else
        m_fileTreePreviewView->reloadWithFileURL(path.isEmpty() ? QUrl() : QUrl::fromLocalFile(path), isRegular);
}

void ResultsViewController::not_fileSearchObjectDidUpdated(QObject *object, const QVariantMap &userInfo)
{
    if (m_scopeDir.isEmpty() || !m_searchObject || !isListShown())
        return;
    m_listController->not_fileSearchObjectDidUpdated(object, userInfo);
}

void ResultsViewController::not_windowDidBecomeMain()
{
    if (m_scopeDir.isEmpty() || !m_searchObject || !isListShown())
        return;
    m_listController->not_windowDidBecomeMain();
}

void ResultsViewController::not_windowDidResize()
{
    if (isSplitViewShown())
        m_splitView->enforceMinimumPaneWidths();
}

void ResultsViewController::resultsListViewControllerChanged(ResultsListViewController *, const QVariantMap &change)
{
    const int type = change.value(QStringLiteral("type")).toInt();
    if (type == 1) {
        m_detailsSelection = QVariantMap{{QStringLiteral("path"), change.value(QStringLiteral("path"))},
                                         {QStringLiteral("isRegular"), change.value(QStringLiteral("isRegular"))}};
        updateUIDetails();
    } else if (type == 2) {
        m_detailsViewMode = change.value(QStringLiteral("mode")).toInt();
        updateUIDetails();
        if (m_listController)
            m_listController->mTableView()->setFocus();
    }
    if (m_delegateController)
        m_delegateController->resultsViewControllerDidChange(this, change);
}
