#include "results/FileMdItemViewController.h"

#include <QHeaderView>
#include <QLocale>
#include <QMutex>
#include <QSet>
#include <QTableView>
#include <QTimer>
#include <mutex>

#include "results/FileMdInfo.h"
#include "results/FileMdItemReader.h"
#include "results/FilePreviewRenderer.h"
#include "support/KZFunctions.h"
#include "support/KZLocalization.h"
#include "support/KZLog.h"

using kzplatform::KZMetadataItem;

namespace {

const QString kKind = QStringLiteral("kind");
const QString kKey = QStringLiteral("key");
const QString kTitle = QStringLiteral("title");
const QString kValueType = QStringLiteral("valueType");
const QString kValue = QStringLiteral("value");

QMutex gHookMutex;
std::function<void(const QString &)> gReadHook;

// Each name is warned about once per process, whichever thread builds rows.
bool firstWarning(QSet<QString> &names, const QString &name)
{
    static QMutex mutex;
    QMutexLocker lock(&mutex);
    if (names.contains(name))
        return false;
    names.insert(name);
    return true;
}

bool isString(const QVariant &v) { return v.typeId() == QMetaType::QString; }
bool isDate(const QVariant &v) { return v.typeId() == QMetaType::QDateTime; }
bool isNumberOrBoolean(const QVariant &v)
{
    switch (v.typeId()) {
    case QMetaType::Bool: case QMetaType::Int: case QMetaType::UInt: case QMetaType::LongLong:
    case QMetaType::ULongLong: case QMetaType::Double: case QMetaType::Float:
        return true;
    default:
        return false;
    }
}
bool isList(const QVariant &v)
{
    return v.typeId() == QMetaType::QStringList || v.typeId() == QMetaType::QVariantList;
}

// The boolean value of a text: "true"/"yes" in any case, or a non-zero number.
bool booleanOfText(const QString &text)
{
    const QString t = text.trimmed().toLower();
    return t == QLatin1String("true") || t == QLatin1String("yes") || t.toDouble() != 0;
}

// The declared class applied to value: its type code (and the converted
// value), or 0 when the value does not fit the class.
int fitDeclaredClass(int valueClass, QVariant &value)
{
    const int elements = isList(value) ? FileMdItemViewController::sameValidValuesOfCfArray(value) : -1;
    switch (valueClass) {
    case FileMdInfo::ClassString:
        return isString(value) ? 1 : 0;
    case FileMdInfo::ClassNumber:
        if (isString(value))
            value = value.toString().trimmed().toDouble();
        return isNumberOrBoolean(value) ? 2 : 0;
    case FileMdInfo::ClassBoolean:
        if (isString(value))
            value = booleanOfText(value.toString());
        else if (isNumberOrBoolean(value))
            value = value.toDouble() != 0;
        return value.typeId() == QMetaType::Bool ? 3 : 0;
    case FileMdInfo::ClassDate:
        return isDate(value) ? 4 : 0;
    case FileMdInfo::ClassStringList:
        return elements == 0 || elements == 1 ? 5 : 0;
    case FileMdInfo::ClassNumberList:
        return elements == 0 || elements == 2 ? 6 : 0;
    case FileMdInfo::ClassDateList:
        return elements == 0 || elements == 3 ? 7 : 0;
    default:
        return 0;
    }
}

int typeOfValue(const QVariant &value)
{
    if (isString(value))
        return 1;
    if (value.typeId() == QMetaType::Bool)
        return 3;
    if (isNumberOrBoolean(value))
        return 2;
    if (isDate(value))
        return 4;
    switch (FileMdItemViewController::sameValidValuesOfCfArray(value)) {
    case 0: case 1: return 5;
    case 2: return 6;
    case 3: return 7;
    default: return 0;
    }
}

QVariantList elementsOf(const QVariant &value)
{
    if (value.typeId() != QMetaType::QStringList)
        return value.toList();
    const QStringList strings = value.toStringList();
    return QVariantList(strings.begin(), strings.end());
}

} // namespace

// The rows as a two-column table ("key", "value"); group rows span both.
class FileMdItemTableModel : public QAbstractTableModel
{
public:
    explicit FileMdItemTableModel(const QList<QVariantMap> &rows, QObject *parent)
        : QAbstractTableModel(parent), m_rows(rows) {}
    void reset() { beginResetModel(); endResetModel(); }

    int rowCount(const QModelIndex &parent) const override { return parent.isValid() ? 0 : int(m_rows.size()); }
    int columnCount(const QModelIndex &parent) const override { return parent.isValid() ? 0 : 2; }
    Qt::ItemFlags flags(const QModelIndex &index) const override
    {
        // Only attribute rows can be selected.
        const bool group = m_rows.at(index.row()).value(kKind).toInt() == 1;
        return group ? Qt::ItemIsEnabled : Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    }
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override
    {
        if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
            return {};
        return section == 0 ? KZLocalizedString("FileMdItemViewController_key")
                            : KZLocalizedString("FileMdItemViewController_value");
    }
    QVariant data(const QModelIndex &index, int role) const override;

private:
    const QList<QVariantMap> &m_rows;
};

QVariant FileMdItemTableModel::data(const QModelIndex &index, int role) const
{
    const QVariantMap &row = m_rows.at(index.row());
    if (row.value(kKind).toInt() == 1) {
        if (index.column() != 0)
            return {};
        if (role == FileMdItemViewController::CellIdRole)
            return QStringLiteral("groupCellId");
        if (role == Qt::DisplayRole)
            return row.value(kTitle);
        if (role == Qt::FontRole) {
            QFont bold;
            bold.setBold(true);
            return bold;
        }
        return {};
    }
    const QString key = row.value(kKey).toString();
    if (index.column() == 0) {
        if (role == FileMdItemViewController::CellIdRole)
            return QStringLiteral("keyCellId");
        return role == Qt::DisplayRole || role == Qt::ToolTipRole ? QVariant(key) : QVariant();
    }
    if (!row.contains(kValueType))
        return {};
    const QVariant value = row.value(kValue);
    if (role == FileMdItemViewController::ValueRole)
        return value;
    switch (row.value(kValueType).toInt()) {
    case 1:
        if (role == FileMdItemViewController::CellIdRole)
            return QStringLiteral("valueStringCellId");
        if (role == Qt::DisplayRole || (role == Qt::ToolTipRole && !value.toString().isEmpty()))
            return value.toString();
        return {};
    case 2: {
        if (role == FileMdItemViewController::CellIdRole)
            return QStringLiteral("valueNumberCellId");
        if (role == Qt::TextAlignmentRole)
            return int(Qt::AlignRight | Qt::AlignVCenter);
        if (role != Qt::DisplayRole)
            return {};
        // Years and counts read better without group separators.
        QLocale locale;
        locale.setNumberOptions(QLocale::OmitGroupSeparator);
        return value.typeId() == QMetaType::Double ? locale.toString(value.toDouble(), 'g', 12)
                                                   : locale.toString(value.toLongLong());
    }
    case 3:
        if (role == FileMdItemViewController::CellIdRole)
            return QStringLiteral("valueStringCellId");
        return role == Qt::DisplayRole ? KZLocalizedString(value.toBool() ? "Yes" : "No") : QVariant();
    case 4:
        if (role == FileMdItemViewController::CellIdRole)
            return QStringLiteral("valueDateCellId");
        return role == Qt::DisplayRole ? FileMdItemViewController::shortDateText(value.toDateTime()) : QVariant();
    default: {
        if (role == FileMdItemViewController::CellIdRole)
            return QStringLiteral("valueStringCellId");
        if (role != Qt::DisplayRole && role != Qt::ToolTipRole)
            return {};
        const bool tooltip = role == Qt::ToolTipRole;
        QStringList texts;
        for (const QVariant &element : elementsOf(value)) {
            if (!isDate(element))
                texts.append(element.toString());
            else if (tooltip)
                texts.append(FileMdItemViewController::mediumDateText(element.toDateTime()));
            else
                texts.append(FileMdItemViewController::shortDateText(element.toDateTime(),
                                                                     key == QLatin1String("kMDItemUsedDates")));
        }
        if (tooltip && texts.isEmpty())
            return {};
        return texts.join(tooltip ? QStringLiteral("\n") : QStringLiteral(", "));
    }
    }
}

FileMdItemViewController::FileMdItemViewController(QObject *parent)
    : QObject(parent)
{
    registerEnglishTexts();
}

void FileMdItemViewController::registerEnglishTexts()
{
    static std::once_flag once;
    std::call_once(once, [] {
        KZLocalization::registerEnglish(KZLocalizationMainTable, {
            {"FileMdItemViewController_key", "Attribute"},
            {"FileMdItemViewController_value", "Value"},
            {"CMMenuItemDetailsViewFilePath_displayName", "Name:"},
            {"CMMenuItemDetailsViewFilePath_displayType", "Kind:"},
            {"CMMenuItemDetailsViewFilePath_creationDate", "Created:"},
            {"CMMenuItemDetailsViewFilePath_modificationDate", "Modified:"},
            {"CMMenuItemDetailsViewFilePath_accessDate", "Last opened:"},
            {"CMMenuItemDetailsViewFilePath_addedDate", "Added:"},
            {"CMMenuItemDetailsViewFilePath_size", "Size:"},
            {"CMMenuItemDetailsViewFilePath_totalSize", "Total size:"},
            {"CMMenuItemDetailsViewFilePath_ownerName", "Owner:"},
            {"CMMenuItemDetailsViewFilePath_groupName", "Group:"},
        });
    });
}

FileMdItemViewController::~FileMdItemViewController()
{
    // An answer on its way finds its watcher gone with this object.
    delete m_tableView;
}

QWidget *FileMdItemViewController::view()
{
    if (!m_tableView) {
        m_tableView = new QTableView;
        m_tableView->setObjectName(QStringLiteral("FileMdItemViewController"));
        m_model = new FileMdItemTableModel(m_objectList, m_tableView);
        m_tableView->setModel(m_model);
        m_tableView->setSelectionBehavior(QAbstractItemView::SelectRows);
        m_tableView->setSelectionMode(QAbstractItemView::SingleSelection);
        m_tableView->setShowGrid(false);
        m_tableView->setWordWrap(false);
        m_tableView->setTextElideMode(Qt::ElideMiddle);
        m_tableView->verticalHeader()->hide();
        m_tableView->verticalHeader()->setDefaultSectionSize(m_tableView->fontMetrics().height() + 4);
        m_tableView->horizontalHeader()->setStretchLastSection(true);
        m_tableView->setColumnWidth(0, 190);
        m_tableView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    }
    return m_tableView;
}

void FileMdItemViewController::setReadHook(std::function<void(const QString &)> hook)
{
    QMutexLocker lock(&gHookMutex);
    gReadHook = std::move(hook);
}

std::optional<KZMetadataItem> FileMdItemViewController::readItem(const QString &path)
{
    std::function<void(const QString &)> hook;
    {
        QMutexLocker lock(&gHookMutex);
        hook = gReadHook;
    }
    if (hook)
        hook(path);
    return FileMdItemReader::read(path);
}

QString FileMdItemViewController::shortDateText(const QDateTime &date, bool dateOnly)
{
    const QDateTime local = date.toLocalTime();
    return dateOnly ? QLocale().toString(local.date(), QLocale::ShortFormat)
                    : QLocale().toString(local, QLocale::ShortFormat);
}

QString FileMdItemViewController::mediumDateText(const QDateTime &date)
{
    const QDateTime local = date.toLocalTime();
    return QLocale().toString(local.date(), QStringLiteral("d MMM yyyy")) + QStringLiteral(", ") +
           QLocale().toString(local.time(), QLocale::LongFormat).section(QLatin1Char(' '), 0, 0);
}

void FileMdItemViewController::updateUIWithFilePath(const QString &path, bool)
{
    m_filePath = path;
    const quint64 generation = m_requests.next();
    if (path.isEmpty()) {
        m_loading = false;
        setObjectList({});
        return;
    }
    m_loading = true;
    // A quick answer replaces the table without a blank in between; a slow
    // one must not leave the previous file's attributes under the new name.
    QTimer::singleShot(kStaleAfterMs, this, [this, generation] {
        if (m_requests.isCurrent(generation) && m_loading)
            setObjectList({});
    });
    using Answer = QList<std::pair<QString, QVariant>>;
    const auto read = [path] {
        Answer attributes;
        if (const std::optional<KZMetadataItem> item = readItem(path)) {
            for (auto it = item->attributes().cbegin(); it != item->attributes().cend(); ++it)
                attributes.append({it.key(), it.value()});
        }
        return attributes;
    };
    m_requests.run(this, read, [this](const Answer &attributes) {
        m_loading = false;
        setObjectList(rowsForAttributes(attributes));
    });
}

void FileMdItemViewController::setObjectList(const QList<QVariantMap> &rows)
{
    m_objectList = rows;
    if (m_model) {
        m_model->reset();
        m_tableView->clearSpans();
        for (int i = 0; i < m_objectList.size(); ++i) {
            if (m_objectList.at(i).value(kKind).toInt() == 1)
                m_tableView->setSpan(i, 0, 1, 2);
        }
        // Keys are read whole where the pane allows it.
        m_tableView->resizeColumnToContents(0);
        m_tableView->setColumnWidth(0, qBound(120, m_tableView->columnWidth(0), m_tableView->width() / 2));
    }
    Q_EMIT tableUpdated();
}

int FileMdItemViewController::sameValidValuesOfCfArray(const QVariant &value)
{
    if (value.typeId() == QMetaType::QStringList)
        return value.toStringList().isEmpty() ? 0 : 1;
    if (value.typeId() != QMetaType::QVariantList)
        return -1;
    const QVariantList list = value.toList();
    if (list.isEmpty())
        return 0;
    const auto kindOf = [](const QVariant &v) {
        return isString(v) ? 1 : isNumberOrBoolean(v) ? 2 : isDate(v) ? 3 : -1;
    };
    const int first = kindOf(list.first());
    for (const QVariant &element : list) {
        if (kindOf(element) != first)
            return -1;
    }
    return first;
}

QList<QVariantMap> FileMdItemViewController::rowsForAttributes(const QList<std::pair<QString, QVariant>> &attributes)
{
    static QSet<QString> unknownNames;
    static QSet<QString> mistypedNames;
    QMap<int, QList<QVariantMap>> groups;
    for (const auto &[name, original] : attributes) {
        int category = FileMdInfo::CategoryNone;
        int valueClass = 0;
        int valueDisplay = FileMdInfo::DisplayPlain;
        if (!FileMdInfo::getInfos(&category, &valueClass, &valueDisplay, name)) {
            if (firstWarning(unknownNames, name))
                KZLOG_WARNING_F(QStringLiteral("getInfos==NO attrName:%1").arg(name));
            category = FileMdInfo::CategoryNone;
            valueClass = 0;
        }
        QVariantMap row{{kKind, 2}, {kKey, name}};
        QVariant value = original;
        if (value.isValid()) {
            int type = valueClass ? fitDeclaredClass(valueClass, value) : 0;
            if (type == 0) {
                if (valueClass && firstWarning(mistypedNames, name))
                    KZLOG_WARNING_F(QStringLiteral("incorrect value type for attrName:%1").arg(name));
                value = original;
                type = typeOfValue(value);
            }
            if (type == 0) {
                KZLOG_WARNING_F(QStringLiteral("valueType==0 attrName:%1").arg(name));
                KZLog::logDebug(QStringLiteral("value:%1").arg(value.toString()));
            } else {
                if (valueDisplay == FileMdInfo::DisplayByteCount) {
                    value = KZFunctions::stringFromBytesWithBin1024Style(value.toLongLong());
                    type = 1;
                } else if (valueDisplay == FileMdInfo::DisplayOrientation) {
                    value = value.toInt() == 1 ? KZLocalizedString("Portrait") : KZLocalizedString("Landscape");
                    type = 1;
                }
                row.insert(kValueType, type);
                row.insert(kValue, value);
            }
        }
        groups[category].append(row);
    }
    QList<QVariantMap> rows;
    for (const int category : {FileMdInfo::CategoryCommon, FileMdInfo::CategoryImage, FileMdInfo::CategoryVideo,
                               FileMdInfo::CategoryAudio, FileMdInfo::CategoryFileSystem, FileMdInfo::CategoryNone}) {
        const QList<QVariantMap> group = groups.value(category);
        if (group.isEmpty())
            continue;
        QVariantMap header{{kKind, 1}};
        if (category != FileMdInfo::CategoryNone)
            header.insert(kTitle, FileMdInfo::localizedCategory(category));
        rows.append(header);
        rows.append(group);
    }
    return rows;
}
