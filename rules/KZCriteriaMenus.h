// The menus behind the pop-ups of a rule row: the criterion kinds, the
// operators of each kind and the values of the type rule. Their tags are the
// criterion kinds and operators that rows store; their titles identify them.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include "engine/KZFileSearch.h"
#include "rules/KZMenu.h"
#include "platform/KZWorkspaceFileLabels.h"

// Menu titles, compared exactly when a pop-up changes.
inline const QString KZMajorCriteriaMenuTitle = QStringLiteral("MajorCriteriaMenu");
inline const QString KZOperatorMenuFileNameTitle = QStringLiteral("OperatorMenu-KZFileSearchCriterion_fileName");
inline const QString KZOperatorMenuFileSizeTitle = QStringLiteral("OperatorMenu-KZFileSearchCriterion_fileSize");
inline const QString KZOperatorMenuUTITypeTitle = QStringLiteral("OperatorMenu-KZFileSearchCriterion_UTIType");
inline const QString KZOperatorMenuDateTitle = QStringLiteral("OperatorMenu-KZFileSearchCriterion_date");
inline const QString KZOperatorMenuTagNamesTitle = QStringLiteral("OperatorMenu-KZFileSearchCriterion_tagNames");
inline const QString KZOperatorMenuXAttrsTitle = QStringLiteral("OperatorMenu-KZFileSearchCriterion_xAttrs");
inline const QString KZOperatorMenuDirPathsTitle = QStringLiteral("OperatorMenu-KZFileSearchCriterion_dirPaths");
inline const QString KZValueMenuUTITypeTitle = QStringLiteral("ValueMenu-KZFileSearchCriterion_UTIType");

// English texts of the rules editor's keys in the main table. Idempotent; the
// menu builders call it.
void kzRegisterRulesEnglishTables();

// The kinds of the major menu in its order, which is also the order in which
// new rows take their default kind.
const QList<qint64> &kzMajorCriteriaKindsInOrder();

// A new major menu.
KZMenuRef kzMajorCriteriaMenu();
// A new operator menu of a criterion kind, or none for kinds without one. The
// tags menu (kind 6) has one entry per file label of labels except the first
// (which stands for no label), with the label's colour as badge, then a
// separator and "Other".
KZMenuRef kzOperatorMenuOfCriterionKind(qint64 kind, const QList<kzplatform::KZFileLabel> &labels);
// A new value menu (kind 3 only), or none.
KZMenuRef kzValueMenuOfCriterionKind(qint64 kind);

// One place of the standard type list: a type or a group boundary.
struct KZStandardTypeRecord {
    bool isSeparator = false;
    QString type;
    QString displayType;
};
// The standard type list, built once per process (the descriptions are asked
// only then).
const QList<KZStandardTypeRecord> &kzStandardTypeList();
// How many times the standard type list was built (1 after first use).
int kzStandardTypeListBuildCount();
// The identifiers of the standard type list in order, without separators.
QStringList kzStandardTypeIdentifiers();
// The menu title of a type: its description with every word capitalised; for
// a media family ("image/*", "*/*") its words from the main table ("Image",
// "Any Item"); otherwise the identifier itself.
QString kzTypeMenuTitle(const QString &identifier);
// "plain text document" -> "Plain Text Document"; letters after the first of
// a word are kept as they are ("PDF document" -> "PDF Document").
QString kzCapitalizedWords(const QString &text);
