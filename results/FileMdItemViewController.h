// The metadata table of the details pane: every attribute of one file, in
// groups by the catalogue's categories (common, image, video, audio, file
// system, then attributes outside the catalogue), with values checked against
// their declared class. The item is read on the preview queue; an answer for
// a path that is no longer shown is dropped. GUI thread.
#pragma once

#include <QAbstractTableModel>
#include <QDateTime>
#include <QList>
#include <QObject>
#include <QString>
#include <QVariantMap>
#include <functional>
#include <optional>

#include "platform/metadata/KZMetadataItem.h"
#include "results/PreviewRequests.h"

class QTableView;
class FileMdItemTableModel;

class FileMdItemViewController : public QObject
{
    Q_OBJECT
public:
    // Item roles beside the display and tooltip texts: the cell identifier
    // ("groupCellId", "keyCellId", "valueStringCellId", ...) and the row's value.
    enum { CellIdRole = Qt::UserRole + 1, ValueRole };

    // How long the previous file's rows may stay while the next one is read.
    static constexpr int kStaleAfterMs = 150;

    explicit FileMdItemViewController(QObject *parent = nullptr);
    ~FileMdItemViewController() override;

    // The table, made on first use.
    QWidget *view();
    QTableView *mTableView() { view(); return m_tableView; }

    // Shows the attributes of path (a null path empties the table). isRegular is not used.
    void updateUIWithFilePath(const QString &path, bool isRegular);
    QString filePath() const { return m_filePath; }
    // Group rows {"kind": 1, "title"}; attribute rows {"kind": 2, "key", "valueType", "value"}.
    const QList<QVariantMap> &objectList() const { return m_objectList; }
    bool isLoading() const { return m_loading; }
    int droppedAnswers() const { return m_requests.droppedAnswers(); }

    // The rows of a file's attributes, in the given (the reader's) order.
    static QList<QVariantMap> rowsForAttributes(const QList<std::pair<QString, QVariant>> &attributes);
    // 0 an empty list, 1 all strings, 2 all numbers or booleans, 3 all dates,
    // -1 mixed element types or no list.
    static int sameValidValuesOfCfArray(const QVariant &value);

    // The metadata item of path, read on the calling thread (never the GUI
    // thread). Tests may set a function run first on the reading thread.
    static std::optional<kzplatform::KZMetadataItem> readItem(const QString &path);
    static void setReadHook(std::function<void(const QString &path)> hook);

    // Date texts shared by the pane: short date and time (short date only
    // when dateOnly), and the medium form of tooltips and file facts.
    static QString shortDateText(const QDateTime &date, bool dateOnly = false);
    static QString mediumDateText(const QDateTime &date);
    // The English texts of the pane's labels and headers.
    static void registerEnglishTexts();

Q_SIGNALS:
    // The table shows a new answer (or was emptied).
    void tableUpdated();

private:
    void setObjectList(const QList<QVariantMap> &rows);

    QString m_filePath;
    QList<QVariantMap> m_objectList;
    QTableView *m_tableView = nullptr;
    FileMdItemTableModel *m_model = nullptr;
    PreviewRequests m_requests;
    bool m_loading = false;
};
