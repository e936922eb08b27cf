// The results list: the rows of the running search folded under folder header
// rows, optional date and size columns, a path bar under the table, reveal on
// double click. Batches are grouped when they arrive and inserted in the table
// on a short timer, so that a fast walk costs the GUI thread one grouping per
// batch and one insertion per timer tick. GUI thread only.
#pragma once

#include <QHash>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QVariantMap>
#include <functional>
#include <memory>

#include "engine/FileSearchResult.h"
#include "engine/KZFileSearchObject.h"
#include "results/ResultsListRows.h"
#include "toolkit/DocumentWindowValidateMenuItem.h"

class KZFileSearchObject;
class KZFinderFileIcon;
class KZPathBar;
class QMenu;
class QWidget;
class ResultsListModel;
class ResultsListTableView;
class ResultsListViewController;

// The owner of the list (the details controller).
class ResultsListViewControllerDelegate
{
public:
    virtual ~ResultsListViewControllerDelegate() = default;
    // {"type": 1, "path", "isRegular"} (the last two with exactly one selected
    // row) when the selection changed; {"type": 2, "mode"} for a details mode.
    virtual void resultsListViewControllerChanged(ResultsListViewController *controller, const QVariantMap &change) = 0;
};

// The preview panel that Space toggles; installed by the window once it exists.
class ResultsListQuickLookPanel
{
public:
    virtual ~ResultsListQuickLookPanel() = default;
    virtual bool isVisible() const = 0;
    virtual void close() = 0;
    // Shows the panel for the list's selection (the list is its source).
    virtual void showForController(ResultsListViewController *controller) = 0;
    virtual void reloadWithURL(const QUrl &url) = 0;
};

// The displayed name of a result, kept in the record's displayFilename: the
// name and the range of the highlighted text in it (start -1: none).
struct ResultListDisplayName {
    QString name;
    int matchStart = -1;
    int matchLength = 0;
};
Q_DECLARE_METATYPE(ResultListDisplayName)

class ResultsListViewController : public QObject, public DocumentWindowValidateMenuItem
{
    Q_OBJECT
public:
    enum Column { ColumnName = 0, ColumnDateModified = 1, ColumnDateCreated = 2, ColumnSize = 3, ColumnCount = 4 };
    // Extra item-data roles of the table model.
    enum Role {
        RowKindRole = Qt::UserRole + 1, // ResultsListRow::Kind
        LevelRole,                      // bool
        PathRole,                       // the folder of a header row, the path of a result row
        DisplayNameRole,                // ResultListDisplayName (result rows, name column)
        DirPrefixRole,                  // the folder prefix of an unindented result row
        IconOpacityRole,                // 1.0, or 0.33 for a result that is no longer valid
        FileSizeRole,                   // qulonglong (regular files and sized folders)
        DateRole,                       // QDateTime (date columns)
        RowOpacityRole,                 // double while the row fades out, none otherwise
    };
    // The commands of the table's context menu, by tag.
    enum MenuTag {
        TagNone = 0, TagOpen = 1, TagShowInFinder = 2, TagDisplayInfo = 3, TagDetails = 4, TagTrash = 5,
        TagOpenWith = 6, TagColumn = 7, TagCalculateSize = 8, TagQuickLook = 9, TagCopyPath = 10,
    };

    explicit ResultsListViewController(QObject *parent = nullptr);
    ~ResultsListViewController() override;

    // The list's view (table and path bar), made on first call.
    QWidget *view();
    bool isViewLoaded() const { return m_view != nullptr; }
    ResultsListTableView *mTableView() { view(); return m_tableView; }
    KZPathBar *mPathControl() { view(); return m_pathControl; }
    ResultsListModel *model() { view(); return m_model; }

    ResultsListViewControllerDelegate *delegateController() const { return m_delegateController; }
    void setDelegateController(ResultsListViewControllerDelegate *delegate) { m_delegateController = delegate; }
    void setQuickLookPanel(ResultsListQuickLookPanel *panel) { m_quickLookPanel = panel; }

    // Starts presenting a session (an empty list; batches then append).
    void updateUI(const QString &scopeDir, KZFileSearchObject *searchObject);
    // A batch ("kind" 1) of the current session is grouped and queued for
    // insertion; the end of the search ("kind" 2) inserts what is queued.
    void not_fileSearchObjectDidUpdated(QObject *object, const QVariantMap &userInfo);
    void not_windowDidBecomeMain();

    // Inserts the queued rows now.
    void flushPendingRows();
    // Rebuilds every row from the session's results in the table's sort order,
    // keeping the selection.
    void updateUIData();
    // Re-checks the results of the visible rows and redraws those that changed.
    void updateUIStats();

    const ResultsListRows &objectList() const { return m_objectList; }
    // Rows (or, with a sort active, results) waiting for the next insertion.
    int pendingRowCount() const { return int(m_pendingRows.size() + m_pendingResults.size()); }
    QString scopeDir() const { return m_scopeDir; }
    KZFileSearchObject *searchObject() const { return m_searchObject; }
    QString criterionFilenameToMatch() const { return m_criterionFilenameToMatch; }
    KZFinderFileIcon *finderFileIcon();

    // Column identifiers: "name", "dateModified", "dateCreated", "size".
    static QString columnIdentifier(int column);
    static int columnOfIdentifier(const QString &identifier);
    // The stored visibility of an optional column: 0 automatic, 1 shown, -1 hidden.
    qint64 visibleColumnValue(const QString &identifier) const { return m_visibleCols.value(identifier, 0); }
    // The menu state of a column: 1 on, 0 off, -1 mixed.
    int visibleColsStatus(const QString &identifier) const;
    // 0 -> 1 -> -1 -> 0, stored at once; the column is hidden exactly at -1.
    void cycleVisibleColumn(const QString &identifier);
    static QString visibleColumnsKey(const QString &identifier);

    // Folders whose size the user asked for; their size cell shows the
    // calculator's answer.
    void addCalculatedDirSize(const QString &path);
    bool isCalculatedDirSize(const QString &path) const { return m_calculatedDirSize.contains(path); }

    // The cell contents of the table model.
    QVariant dataForCell(int row, int column, int role);

    // What one row leads to (empty URL for none).
    QUrl fileURLOfRow(int row) const;
    QList<int> selectedRows() const;

    // Table callbacks.
    void tableViewSelectionDidChange();
    void tableViewDoubleAction(int row);
    void tableViewDidPerformUserAction(const QVariantMap &action);
    void tableViewSortDescriptorsDidChange();
    void pathControlAction(const QUrl &url);

    // The context menu ("TableViewRightMenu") and its "OpenWithSubmenu",
    // rebuilt each time they open. The table sets the clicked row (-1: none)
    // before its menu opens.
    void setClickedRow(int row) { m_clickedRow = row; }
    void menuNeedsUpdate(QMenu *menu);
    void mi_menuAction(QAction *item);
    QAction *rightMenuItem(QMenu *menu, const QString &title, int tag, const QVariant &representedObject, bool isEnabled);
    // The one row a right-click outside the selection acted on; empty when
    // the menu acted on the selection.
    QList<int> rowCanBeSelected() const { return m_rowCanBeSelected; }
    // Paths and URLs of rows (folder rows give their folder), in row order,
    // and the number of folders among them; each output may be null.
    void getSelectionPaths(QStringList *paths, QList<QUrl> *urls, int *nbDirs, const QList<int> &fromIndexes) const;
    int detailsMode() const { return m_detailsMode; }

    // The commands, also reached from the keyboard, on the selection.
    enum class SelectionCommand { Open, CopyPaths, Trash, Properties, Reveal };
    void performOnSelection(SelectionCommand command);
    // Puts the paths on the clipboard (and the X11 selection), one a line.
    static void copyPaths(const QStringList &paths);
    // Checks every path again on a worker and moves to the Trash only those
    // that may go (with allOrNothing, none unless all may); the list drops
    // the rows of the items that went away.
    void moveToTrash(const QStringList &paths, bool allOrNothing = false);
    // Runs when the Trash operation ended: removes, with a fade, the rows of
    // recycled paths that are gone.
    void trashCompletion(const QStringList &paths, const QString &error);
    // How long a removed row takes to fade out.
    static constexpr int kFadeDuration = 250;

    // DocumentWindowValidateMenuItem
    bool documentWindowValidateMenuItem(QAction *item) override;
    void documentWindowPerformMenuItem(QAction *item) override;

    // How long queued rows may wait before they are inserted.
    static constexpr int kInsertInterval = 50;
    // Dropping at least this many rows gives the heap's free pages back to
    // the system, this long afterwards (the session goes a moment later).
    static constexpr qsizetype kReleaseMemoryRows = 10000;
    static constexpr int kReleaseMemoryDelay = 250;

private:
    void addFileItems(QMenu *menu, const QList<int> &targets);
    void fillOpenWithMenu(QMenu *menu);
    void removeFadedRows();
    void selectRowCanBeSelected();
    // The first and last rows on screen; false when no row is.
    bool visibleRows(int *top, int *bottom) const;
    void loadView();
    void appendRows(const ResultsListRows &rows);
    void rebuildRows(const FileSearchResultList &sortedResults);
    ResultsListLess sortLess() const;
    void applyColumnVisibility();
    void n_dirPathSizeCalculatorDidChange(const QVariantMap &userInfo);
    void didUpdateIcon(const QString &path, const QPixmap &icon);
    QVariant nameCellData(const ResultsListRow &row, int role);
    ResultListDisplayName displayNameOfResult(const FileSearchResultRef &result);
    QString dirPrefixOfResult(const FileSearchResultRef &result);
    QPixmap iconOfRow(const ResultsListRow &row);
    void saveTableState();

    QWidget *m_view = nullptr;
    ResultsListTableView *m_tableView = nullptr;
    KZPathBar *m_pathControl = nullptr;
    ResultsListModel *m_model = nullptr;
    KZFinderFileIcon *m_finderFileIcon = nullptr;
    ResultsListViewControllerDelegate *m_delegateController = nullptr;
    ResultsListQuickLookPanel *m_quickLookPanel = nullptr;

    QString m_scopeDir;
    QPointer<KZFileSearchObject> m_searchObject;
    ResultsListRows m_objectList;
    ResultsListRows m_pendingRows;
    QTimer m_insertTimer;
    // With a sort active: the results of the batches since the last insertion,
    // merged into the sorted rows at the next one.
    FileSearchResultList m_pendingResults;
    // The results whose thumbnail is on its way, by path.
    QHash<QString, QList<std::weak_ptr<FileSearchResult>>> m_thumbnailRequests;
    QTimer m_releaseMemoryTimer;
    QString m_criterionFilenameToMatch;
    QSet<QString> m_calculatedDirSize;
    QHash<QString, qint64> m_visibleCols;
    int m_clickedRow = -1;
    QList<int> m_rowCanBeSelected;
    int m_detailsMode = 0;
    // The rows fading out before their removal, and their opacity.
    QSet<const FileSearchResult *> m_fadingResults;
    QSet<QString> m_fadingDirs;
    double m_fadeOpacity = 1.0;
};
