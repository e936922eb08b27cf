#include "results/ResultsViewController.h"

#include <QVBoxLayout>
#include <QWidget>

#include "engine/KZFileSearchObject.h"
#include "results/QuickLookPanel.h"

ResultsViewController::ResultsViewController(QObject *parent)
    : QObject(parent)
{
}

ResultsViewController::~ResultsViewController()
{
    // The list's view may sit in ours; the list controller deletes it first.
    delete m_listController;
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

bool ResultsViewController::isListShown() const
{
    return m_listController && m_listController->isViewLoaded() && m_view &&
           m_listController->view()->parentWidget() == m_view;
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
}

void ResultsViewController::setHasResults(bool hasResults)
{
    if (!hasResults) {
        if (isListShown()) {
            m_view->layout()->removeWidget(m_listController->view());
            m_listController->view()->setParent(nullptr);
        }
    } else if (!m_hasResults && m_listController && !isListShown()) {
        view()->layout()->addWidget(m_listController->view());
        m_listController->view()->show();
    }
    m_hasResults = hasResults;
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

void ResultsViewController::resultsListViewControllerChanged(ResultsListViewController *, const QVariantMap &change)
{
    if (change.value(QStringLiteral("type")).toInt() == 1) {
        m_detailsSelection = QVariantMap{{QStringLiteral("path"), change.value(QStringLiteral("path"))},
                                         {QStringLiteral("isRegular"), change.value(QStringLiteral("isRegular"))}};
    }
    if (m_delegateController)
        m_delegateController->resultsViewControllerDidChange(this, change);
}
