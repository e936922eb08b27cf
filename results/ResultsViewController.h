// The content of the search window while it shows results: the results list,
// and beside it (later) the details pane. It hands the scope and the session
// to the list and passes the session's notifications on. GUI thread.
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QVariantMap>

#include "results/ResultsListViewController.h"

class KZFileSearchObject;
class QWidget;
class ResultsViewController;

// The owner (the search window).
class ResultsViewControllerDelegate
{
public:
    virtual ~ResultsViewControllerDelegate() = default;
    virtual void resultsViewControllerDidChange(ResultsViewController *controller, const QVariantMap &change) = 0;
};

class ResultsViewController : public QObject, public ResultsListViewControllerDelegate
{
    Q_OBJECT
public:
    explicit ResultsViewController(QObject *parent = nullptr);
    ~ResultsViewController() override;

    // The view that the window puts in its content area.
    QWidget *view();
    void setDelegateController(ResultsViewControllerDelegate *delegate) { m_delegateController = delegate; }

    // Stores both; makes the list on the first call with a scope folder and
    // hands it the scope and the session.
    void updateUI(const QString &scopeDir, KZFileSearchObject *searchObject);
    // No: the list leaves the view. Yes: the list is shown in it.
    void setHasResults(bool hasResults);
    bool hasResults() const { return m_hasResults; }

    // Passed to the list while a scope and a session are set and the list is shown.
    void not_fileSearchObjectDidUpdated(QObject *object, const QVariantMap &userInfo);
    void not_windowDidBecomeMain();
    void not_windowDidResize() { }

    ResultsListViewController *resultsListViewController() const { return m_listController; }
    // The details selection last reported by the list: {"path", "isRegular"}.
    QVariantMap detailsSelection() const { return m_detailsSelection; }

    void resultsListViewControllerChanged(ResultsListViewController *controller, const QVariantMap &change) override;

private:
    bool isListShown() const;

    QWidget *m_view = nullptr;
    ResultsListViewController *m_listController = nullptr;
    ResultsViewControllerDelegate *m_delegateController = nullptr;
    QString m_scopeDir;
    QPointer<KZFileSearchObject> m_searchObject;
    bool m_hasResults = false;
    QVariantMap m_detailsSelection;
};
