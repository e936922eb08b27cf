// The command line of trovix-find: options, rules and canonical criteria read
// from JSON. No file-system walking happens here.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVariantList>

struct TrovixFindOptions {
    QString scope;              // absolute, cleaned
    QString pattern;            // as typed (may be empty)
    QVariantList patternCriteria; // from the pattern, like the search field
    QVariantList ruleCriteria;  // from the rule options and --criteria, in order
    QStringList criteriaFiles;  // --criteria arguments, in order ("-" = standard input)
    bool print0 = false;
    bool json = false;
    bool stats = false;
    bool count = false;
    bool noExcluded = false;
    QStringList skipNames;      // --skip-name, in order (not stored by --save)
    bool listSaved = false;
    QString savedName;          // --saved NAME
    QString saveName;           // --save NAME
    int threads = 0;            // --threads N; 0 = the default
    bool help = false;
    bool version = false;

    // Pattern criteria, then rule criteria.
    QVariantList criteria() const { return patternCriteria + ruleCriteria; }
};

enum class TrovixFindParse { Ok, UsageError };

// Reads argv (without the program name). currentDir makes --scope absolute;
// relative --in and --skip folders are read from the scope. On a usage error,
// error says what is wrong.
TrovixFindParse parseTrovixFindArguments(const QStringList &args, const QString &currentDir, TrovixFindOptions *out,
                                         QString *error);

// Canonical criteria from JSON: an array of {"kind", "operator", "value"}
// objects. Dates are ISO 8601 text (a date, or a date-time; one with an offset
// is converted to local time), within-last windows "N|U" strings, folders
// arrays of strings, the trash switch true, skipped folder names (kind 12)
// arrays of names without "/". A criterion whose kind or operator
// is not an integer, or whose value has the wrong type for its kind, is an
// error naming it (1-based index and its JSON).
bool parseCriteriaJson(const QByteArray &json, QVariantList *out, QString *error);

// "10", "10K", "1.5M" (units B K M G T, 1,024-based) -> bytes; -1 when malformed.
qint64 parseByteCount(const QString &text);

// The --help text.
QString trovixFindUsage();
