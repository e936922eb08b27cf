// A rule item describes one control of a rule row (a pop-up, a label, a text
// field, a date picker, a count with a unit, a combo box, an embedded view
// controller) and holds its value. Items are plain value holders shared by
// the editor view, its controller and saved searches; edits change them in
// place.
#pragma once

#include <QCborMap>
#include <QCborValue>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <memory>

#include "rules/KZDirPathEntry.h"
#include "rules/KZMenu.h"

// What an embedded view controller (the folders control) does for the editor
// view: it is told just before its view is placed in a row.
class KZRuleItem_ViewControllerProtocol
{
public:
    virtual ~KZRuleItem_ViewControllerProtocol() = default;
    virtual void rulesEditorViewWillDisplayView() = 0;
};

// A list of strings shared between the controller (which remembers typed
// names) and the combo boxes that offer them.
using KZStringListRef = std::shared_ptr<QStringList>;

enum KZRuleItemKind : qint64 {
    KZRuleItemKindPopUp = 1,
    KZRuleItemKindLabel = 2,
    KZRuleItemKindTextField = 3,
    KZRuleItemKindDatePicker = 4,
    KZRuleItemKindFileSize = 5,
    KZRuleItemKindCombox = 6,
    KZRuleItemKindDateWithin = 7,
    KZRuleItemKindViewController = 8,
};

class KZRuleItem;
using KZRuleItemRef = std::shared_ptr<KZRuleItem>;

class KZRuleItem
{
public:
    KZRuleItem() = default;
    // initWithKind:wSize: — every other field empty.
    KZRuleItem(qint64 kind, double wSize);

    static KZRuleItemRef rulePopMenuWithMenu(const KZMenuRef &menu, double wSize, qint64 selectedTag);
    static KZRuleItemRef rulePopMenuWithMenu(const KZMenuRef &menu, double wSize, const QVariant &selectedObjet);
    static KZRuleItemRef ruleLabelWithText(const QString &text);
    static KZRuleItemRef ruleTextFieldWithString(const QString &string);
    static KZRuleItemRef ruleDatePickerWithDate(const QDateTime &date, bool isInvisible);
    static KZRuleItemRef ruleFileSizeWithValue(const QString &value);
    static KZRuleItemRef ruleComboxWithStrings(const KZStringListRef &strings, const QString &string);
    static KZRuleItemRef ruleDateWithinWithValue(const QString &value);
    static KZRuleItemRef ruleViewController(const std::shared_ptr<KZRuleItem_ViewControllerProtocol> &viewController,
                                            const QVariant &representedObject);

    qint64 kind() const { return m_kind; }
    void setKind(qint64 kind) { m_kind = kind; }
    // Points; 0: the control takes the rest of the row.
    double wSize() const { return m_wSize; }
    void setWSize(double wSize) { m_wSize = wSize; }
    bool isInvisible() const { return m_isInvisible; }
    void setIsInvisible(bool isInvisible) { m_isInvisible = isInvisible; }
    KZMenuRef menu() const { return m_menu; }
    void setMenu(const KZMenuRef &menu) { m_menu = menu; }
    // 0: the entry is chosen by menuSelectedObject instead.
    qint64 menuSelectedTag() const { return m_menuSelectedTag; }
    void setMenuSelectedTag(qint64 tag) { m_menuSelectedTag = tag; }
    QVariant menuSelectedObject() const { return m_menuSelectedObject; }
    void setMenuSelectedObject(const QVariant &object) { m_menuSelectedObject = object; }
    QString labelTitle() const { return m_labelTitle; }
    void setLabelTitle(const QString &title) { m_labelTitle = title; }
    QString stringValue() const { return m_stringValue; }
    void setStringValue(const QString &value) { m_stringValue = value; }
    // Invalid when there is none.
    QDateTime dateValue() const { return m_dateValue; }
    void setDateValue(const QDateTime &date) { m_dateValue = date; }
    // "%d|%d": a count and a unit code.
    QString dateWithin() const { return m_dateWithin; }
    void setDateWithin(const QString &value) { m_dateWithin = value; }
    QString fileSizeValue() const { return m_fileSizeValue; }
    void setFileSizeValue(const QString &value) { m_fileSizeValue = value; }
    KZStringListRef comboStrings() const { return m_comboStrings; }
    void setComboStrings(const KZStringListRef &strings) { m_comboStrings = strings; }
    std::shared_ptr<KZRuleItem_ViewControllerProtocol> viewController() const { return m_viewController; }
    void setViewController(const std::shared_ptr<KZRuleItem_ViewControllerProtocol> &vc) { m_viewController = vc; }
    // A folders row holds a KZDirPathEntryList here.
    QVariant representedObject() const { return m_representedObject; }
    void setRepresentedObject(const QVariant &object) { m_representedObject = object; }

    // The folder entries held in representedObject; empty when it holds none.
    KZDirPathEntryList dirPathEntries() const;

    // Keyed archive of the item: "kind", "wSize" (truncated toward zero),
    // "isInvisible", "menuSelectedTag", "menuSelectedObject", "labelTitle",
    // "stringValue", "dateValue", "dateWithin", "fileSizeValue",
    // "representedObject". The menu, the combo choices and the view controller
    // are not archived.
    QCborMap encodeWithCoder() const;
    // A missing or mistyped key leaves its field empty.
    static KZRuleItemRef initWithCoder(const QCborMap &coder);

private:
    qint64 m_kind = 0;
    double m_wSize = 0;
    bool m_isInvisible = false;
    KZMenuRef m_menu;
    qint64 m_menuSelectedTag = 0;
    QVariant m_menuSelectedObject;
    QString m_labelTitle;
    QString m_stringValue;
    QDateTime m_dateValue;
    QString m_dateWithin;
    QString m_fileSizeValue;
    KZStringListRef m_comboStrings;
    std::shared_ptr<KZRuleItem_ViewControllerProtocol> m_viewController;
    QVariant m_representedObject;
};

// A rule row: its three items (major, operator, value). Rows are never changed
// once made; a structural change makes a new row, possibly holding the same
// items, and rows are told apart by identity.
struct KZRuleRow {
    QList<KZRuleItemRef> items;
};
using KZRuleRowRef = std::shared_ptr<const KZRuleRow>;
using KZRuleRows = QList<KZRuleRowRef>;

inline KZRuleRowRef kzMakeRuleRow(const QList<KZRuleItemRef> &items)
{
    return std::make_shared<const KZRuleRow>(KZRuleRow{items});
}

// Archive of rows: an array of {"items": [archived items]}.
QCborValue kzArchiveRuleRows(const KZRuleRows &rows);
// A copy of rows sharing no item with them, as they would come back from an
// archive (no menus, combo choices or controls: a reload attaches them).
KZRuleRows kzDetachedRuleRows(const KZRuleRows &rows);
// Rows from kzArchiveRuleRows. Entries that are not rows are left out and
// counted in *skipped (when given).
KZRuleRows kzUnarchiveRuleRows(const QCborValue &value, int *skipped = nullptr);
