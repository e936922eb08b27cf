#include "cli/TrovixFindOptions.h"

#include <cmath>

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QRegularExpression>
#include <QTimeZone>

#include "engine/KZSearchTextCriteria.h"

namespace {

const QString kKind = QStringLiteral("kind");
const QString kOperator = QStringLiteral("operator");
const QString kValue = QStringLiteral("value");

QVariantMap criterion(int kind, int op, const QVariant &value = QVariant())
{
    QVariantMap c{{kKind, kind}, {kOperator, op}};
    if (value.isValid())
        c.insert(kValue, value);
    return c;
}

QString absolutePath(const QString &path, const QString &currentDir)
{
    if (path.isEmpty())
        return path;
    return QDir::cleanPath(QDir::isAbsolutePath(path) ? path : currentDir + QLatin1Char('/') + path);
}

// ISO 8601 date or date-time in local time; invalid when unparsable.
QDateTime parseIsoDate(const QString &text)
{
    static const QRegularExpression dateOnly(QStringLiteral("^\\d{4}-\\d{2}-\\d{2}$"));
    if (dateOnly.match(text).hasMatch()) {
        const QDate d = QDate::fromString(text, Qt::ISODate);
        return d.isValid() ? QDateTime(d, QTime(0, 0)) : QDateTime();
    }
    QDateTime dt = QDateTime::fromString(text, Qt::ISODateWithMs);
    if (!dt.isValid())
        return QDateTime();
    return dt.timeSpec() == Qt::LocalTime ? dt : dt.toLocalTime();
}

// WHEN of --modified / --created -> {operator, value}; false when malformed.
bool parseWhen(const QString &when, int *op, QVariant *value)
{
    static const QRegularExpression within(QStringLiteral("^within:(\\d+)(min|h|d|w|m|y)$"));
    *value = QVariant();
    if (when == QLatin1String("last-hour")) {
        *op = 18;
        return true;
    }
    if (when == QLatin1String("last-6-hours")) {
        *op = 19;
        return true;
    }
    if (when == QLatin1String("today")) {
        *op = 11;
        return true;
    }
    if (when == QLatin1String("yesterday")) {
        *op = 12;
        return true;
    }
    const auto m = within.match(when);
    if (m.hasMatch()) {
        bool ok = false;
        const qlonglong n = m.captured(1).toLongLong(&ok);
        if (!ok || n > 1000000)
            return false;
        static const QHash<QString, int> units{{QStringLiteral("d"), 1}, {QStringLiteral("w"), 2},
                                               {QStringLiteral("m"), 3}, {QStringLiteral("y"), 4},
                                               {QStringLiteral("h"), 5}, {QStringLiteral("min"), 6}};
        *op = 15;
        *value = QStringLiteral("%1|%2").arg(n).arg(units.value(m.captured(2)));
        return true;
    }
    const qsizetype colon = when.indexOf(QLatin1Char(':'));
    if (colon <= 0)
        return false;
    const QString head = when.left(colon);
    const QDate day = QDate::fromString(when.mid(colon + 1), QStringLiteral("yyyy-MM-dd"));
    if (!day.isValid())
        return false;
    if (head == QLatin1String("on"))
        *op = 8;
    else if (head == QLatin1String("before"))
        *op = 9;
    else if (head == QLatin1String("after"))
        *op = 10;
    else
        return false;
    *value = QDateTime(day, QTime(0, 0));
    return true;
}

bool parseType(const QString &t, QString *value)
{
    static const QHash<QString, QString> keywords{
        {QStringLiteral("file"), QStringLiteral("KZFileSearchUTIType_RegFile")},
        {QStringLiteral("dir"), QStringLiteral("KZFileSearchUTIType_Directorty")},
        {QStringLiteral("link"), QStringLiteral("KZFileSearchUTIType_SymLink")},
        {QStringLiteral("ds_store"), QStringLiteral("KZFileSearchUTIType_DSStore")},
    };
    if (keywords.contains(t)) {
        *value = keywords.value(t);
        return true;
    }
    static const QRegularExpression mime(QStringLiteral("^([A-Za-z0-9][A-Za-z0-9!#$&^_.+-]*|\\*)/([A-Za-z0-9][A-Za-z0-9!#$&^_.+-]*|\\*)$"));
    if (!mime.match(t).hasMatch() || t == QLatin1String("*/") )
        return false;
    // "*/subtype" names nothing
    if (t.startsWith(QLatin1String("*/")) && t != QLatin1String("*/*"))
        return false;
    *value = t;
    return true;
}

QString describeJson(const QJsonValue &v)
{
    if (v.isObject())
        return QString::fromUtf8(QJsonDocument(v.toObject()).toJson(QJsonDocument::Compact));
    if (v.isArray())
        return QString::fromUtf8(QJsonDocument(v.toArray()).toJson(QJsonDocument::Compact));
    return QStringLiteral("(not an object)");
}

bool jsonInteger(const QJsonValue &v, qint64 *out)
{
    if (!v.isDouble())
        return false;
    const double d = v.toDouble();
    if (!std::isfinite(d) || std::floor(d) != d || std::fabs(d) > 9.0e15)
        return false;
    *out = static_cast<qint64>(d);
    return true;
}

} // namespace

qint64 parseByteCount(const QString &text)
{
    static const QRegularExpression re(QStringLiteral("^(\\d+(?:\\.\\d+)?)([BKMGTbkmgt]?)$"));
    const auto m = re.match(text.trimmed());
    if (!m.hasMatch())
        return -1;
    bool ok = false;
    const double n = m.captured(1).toDouble(&ok);
    if (!ok)
        return -1;
    int shift = 0;
    switch (m.captured(2).toUpper().isEmpty() ? 'B' : m.captured(2).toUpper().at(0).toLatin1()) {
    case 'K': shift = 10; break;
    case 'M': shift = 20; break;
    case 'G': shift = 30; break;
    case 'T': shift = 40; break;
    default: shift = 0; break;
    }
    const double bytes = std::ldexp(n, shift);
    if (bytes > 9.0e18)
        return -1;
    return static_cast<qint64>(std::llround(bytes));
}

bool parseCriteriaJson(const QByteArray &json, QVariantList *out, QString *error)
{
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(json, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        *error = QStringLiteral("criteria are not valid JSON: %1 at offset %2").arg(parseError.errorString()).arg(parseError.offset);
        return false;
    }
    if (!doc.isArray()) {
        *error = QStringLiteral("criteria must be a JSON array of {\"kind\", \"operator\", \"value\"} objects");
        return false;
    }
    const QJsonArray array = doc.array();
    QVariantList list;
    for (qsizetype i = 0; i < array.size(); ++i) {
        const QJsonValue item = array.at(i);
        const QString where = QStringLiteral("criterion %1 %2").arg(i + 1).arg(describeJson(item));
        if (!item.isObject()) {
            *error = where + QStringLiteral(": not an object");
            return false;
        }
        const QJsonObject o = item.toObject();
        qint64 kind = 0, op = 0;
        if (!jsonInteger(o.value(kKind), &kind)) {
            *error = where + QStringLiteral(": \"kind\" must be an integer");
            return false;
        }
        if (o.contains(kOperator) && !jsonInteger(o.value(kOperator), &op)) {
            *error = where + QStringLiteral(": \"operator\" must be an integer");
            return false;
        }
        const bool hasValue = o.contains(kValue) && !o.value(kValue).isNull();
        const QJsonValue v = o.value(kValue);
        QVariant value;
        auto wrongType = [&](const char *expected) {
            *error = where + QStringLiteral(": \"value\" must be ") + QLatin1String(expected);
            return false;
        };
        switch (kind) {
        case 1:
        case 3:
        case 6:
        case 8:
            if (hasValue) {
                if (!v.isString())
                    return wrongType("a string");
                value = v.toString();
            }
            break;
        case 2:
            if (hasValue) {
                qint64 n = 0;
                if (!jsonInteger(v, &n))
                    return wrongType("an integer byte count");
                value = n;
            }
            break;
        case 4:
        case 5:
            if (!hasValue)
                break;
            if (op == 15) {
                if (!v.isString())
                    return wrongType("an \"N|U\" string");
                value = v.toString();
            } else if (op == 8 || op == 9 || op == 10) {
                if (!v.isString())
                    return wrongType("an ISO 8601 date");
                const QDateTime d = parseIsoDate(v.toString());
                if (!d.isValid())
                    return wrongType("an ISO 8601 date");
                value = d;
            } else if (v.isString()) {
                value = v.toString(); // not read for these operators
            } else {
                return wrongType("absent for this operator");
            }
            break;
        case 10:
            if (hasValue) {
                if (!v.isArray())
                    return wrongType("an array of folder paths");
                QStringList paths;
                for (const QJsonValue &p : v.toArray()) {
                    if (!p.isString())
                        return wrongType("an array of folder paths");
                    paths.append(p.toString());
                }
                value = paths;
            }
            break;
        case 12:
            if (hasValue) {
                if (!v.isArray())
                    return wrongType("an array of folder names (not empty, no \"/\")");
                QStringList names;
                for (const QJsonValue &n : v.toArray()) {
                    if (!n.isString() || n.toString().isEmpty() || n.toString().contains(QLatin1Char('/')))
                        return wrongType("an array of folder names (not empty, no \"/\")");
                    names.append(n.toString());
                }
                value = names;
            }
            break;
        case 11:
            if (hasValue) {
                if (!v.isBool())
                    return wrongType("true or false");
                value = v.toBool();
            }
            break;
        default:
            // Unknown kinds are kept; the search ignores them (and warns).
            if (hasValue)
                value = v.toVariant();
            break;
        }
        QVariantMap c{{kKind, kind}, {kOperator, op}};
        if (value.isValid())
            c.insert(kValue, value);
        list.append(c);
    }
    *out = list;
    return true;
}

TrovixFindParse parseTrovixFindArguments(const QStringList &args, const QString &currentDir, TrovixFindOptions *out,
                                         QString *error)
{
    TrovixFindOptions o;
    QStringList inDirs, skipDirs;
    QStringList positional;
    bool scopeGiven = false;
    bool optionsEnded = false;

    auto fail = [&](const QString &message) {
        *error = message;
        return TrovixFindParse::UsageError;
    };

    for (qsizetype i = 0; i < args.size(); ++i) {
        QString arg = args.at(i);
        if (optionsEnded || arg == QLatin1String("-") || !arg.startsWith(QLatin1Char('-'))) {
            positional.append(arg);
            continue;
        }
        if (arg == QLatin1String("--")) {
            optionsEnded = true;
            continue;
        }
        QString inlineValue;
        bool hasInline = false;
        if (arg.startsWith(QLatin1String("--"))) {
            const qsizetype eq = arg.indexOf(QLatin1Char('='));
            if (eq > 0) {
                inlineValue = arg.mid(eq + 1);
                arg = arg.left(eq);
                hasInline = true;
            }
        }
        auto takeValue = [&](QString *v) {
            if (hasInline) {
                *v = inlineValue;
                return true;
            }
            if (i + 1 >= args.size())
                return false;
            *v = args.at(++i);
            return true;
        };
        auto flag = [&](bool *f) {
            if (hasInline)
                return false;
            *f = true;
            return true;
        };
        QString v;
        const bool isFlag = arg == QLatin1String("-0") || arg == QLatin1String("--print0") ||
                            arg == QLatin1String("--json") || arg == QLatin1String("--stats") ||
                            arg == QLatin1String("--count") || arg == QLatin1String("--no-excluded") ||
                            arg == QLatin1String("--trash") || arg == QLatin1String("--list-saved") ||
                            arg == QLatin1String("-h") || arg == QLatin1String("--help") ||
                            arg == QLatin1String("--version");
        if (isFlag) {
            bool ok = true;
            if (arg == QLatin1String("-0") || arg == QLatin1String("--print0"))
                ok = flag(&o.print0);
            else if (arg == QLatin1String("--json"))
                ok = flag(&o.json);
            else if (arg == QLatin1String("--stats"))
                ok = flag(&o.stats);
            else if (arg == QLatin1String("--count"))
                ok = flag(&o.count);
            else if (arg == QLatin1String("--no-excluded"))
                ok = flag(&o.noExcluded);
            else if (arg == QLatin1String("--list-saved"))
                ok = flag(&o.listSaved);
            else if (arg == QLatin1String("--version"))
                ok = flag(&o.version);
            else if (arg == QLatin1String("-h") || arg == QLatin1String("--help"))
                ok = flag(&o.help);
            else if (arg == QLatin1String("--trash")) {
                ok = !hasInline;
                o.ruleCriteria.append(criterion(11, 4, true));
            }
            if (!ok)
                return fail(QStringLiteral("option %1 takes no value").arg(arg));
            continue;
        }
        static const QStringList withValue{
            QStringLiteral("-s"),      QStringLiteral("--scope"),  QStringLiteral("--name"),
            QStringLiteral("--size"),  QStringLiteral("--modified"), QStringLiteral("--created"),
            QStringLiteral("--type"),  QStringLiteral("--not-type"), QStringLiteral("--tag"),
            QStringLiteral("--xattr"), QStringLiteral("--no-xattr"), QStringLiteral("--in"),
            QStringLiteral("--skip"),  QStringLiteral("--criteria"), QStringLiteral("--saved"),
            QStringLiteral("--save"),  QStringLiteral("--skip-name"),
            QStringLiteral("--threads")};
        if (!withValue.contains(arg))
            return fail(QStringLiteral("unknown option %1").arg(arg));
        if (!takeValue(&v))
            return fail(QStringLiteral("option %1 needs a value").arg(arg));

        if (arg == QLatin1String("-s") || arg == QLatin1String("--scope")) {
            if (scopeGiven)
                return fail(QStringLiteral("only one --scope may be given"));
            if (v.isEmpty())
                return fail(QStringLiteral("--scope needs a folder"));
            o.scope = absolutePath(v, currentDir);
            scopeGiven = true;
        } else if (arg == QLatin1String("--name")) {
            static const QHash<QString, int> ops{{QStringLiteral("contains"), 1}, {QStringLiteral("begins"), 2},
                                                 {QStringLiteral("ends"), 3},     {QStringLiteral("is"), 4},
                                                 {QStringLiteral("is-not"), 5},   {QStringLiteral("not-contains"), 20}};
            const qsizetype colon = v.indexOf(QLatin1Char(':'));
            if (colon <= 0 || !ops.contains(v.left(colon)))
                return fail(QStringLiteral("--name takes OP:TEXT with OP one of contains, not-contains, begins, ends, is, is-not (got \"%1\")").arg(v));
            const QString text = v.mid(colon + 1);
            if (text.trimmed().isEmpty())
                return fail(QStringLiteral("--name %1 has no text to compare").arg(v));
            o.ruleCriteria.append(criterion(1, ops.value(v.left(colon)), text));
        } else if (arg == QLatin1String("--size")) {
            if (v.size() < 2 || (v.at(0) != QLatin1Char('<') && v.at(0) != QLatin1Char('>')))
                return fail(QStringLiteral("--size takes <N[UNIT] (at most) or >N[UNIT] (at least), UNIT one of B K M G T (got \"%1\")").arg(v));
            const qint64 bytes = parseByteCount(v.mid(1));
            if (bytes < 0)
                return fail(QStringLiteral("--size: \"%1\" is not a byte count (N[UNIT], UNIT one of B K M G T)").arg(v.mid(1)));
            o.ruleCriteria.append(criterion(2, v.at(0) == QLatin1Char('<') ? 6 : 7, bytes));
        } else if (arg == QLatin1String("--modified") || arg == QLatin1String("--created")) {
            int op = 0;
            QVariant value;
            if (!parseWhen(v, &op, &value))
                return fail(QStringLiteral("%1: \"%2\" is not one of last-hour, last-6-hours, today, yesterday, within:N(min|h|d|w|m|y), on:YYYY-MM-DD, before:YYYY-MM-DD, after:YYYY-MM-DD").arg(arg, v));
            o.ruleCriteria.append(criterion(arg == QLatin1String("--modified") ? 5 : 4, op, value));
        } else if (arg == QLatin1String("--type") || arg == QLatin1String("--not-type")) {
            QString value;
            if (!parseType(v, &value))
                return fail(QStringLiteral("%1: \"%2\" is not file, dir, link, ds_store or a MIME type (text/plain, image/*, */*)").arg(arg, v));
            o.ruleCriteria.append(criterion(3, arg == QLatin1String("--type") ? 4 : 5, value));
        } else if (arg == QLatin1String("--tag")) {
            if (v.trimmed().isEmpty())
                return fail(QStringLiteral("--tag needs a tag name"));
            o.ruleCriteria.append(criterion(6, 0, v));
        } else if (arg == QLatin1String("--xattr") || arg == QLatin1String("--no-xattr")) {
            if (v.trimmed().isEmpty())
                return fail(QStringLiteral("%1 needs an attribute name").arg(arg));
            o.ruleCriteria.append(criterion(8, arg == QLatin1String("--xattr") ? 13 : 14, v));
        } else if (arg == QLatin1String("--in") || arg == QLatin1String("--skip")) {
            if (v.isEmpty())
                return fail(QStringLiteral("%1 needs a folder").arg(arg));
            (arg == QLatin1String("--in") ? inDirs : skipDirs).append(v);
        } else if (arg == QLatin1String("--skip-name")) {
            if (v.isEmpty() || v.contains(QLatin1Char('/')) || v == QLatin1String(".") || v == QLatin1String(".."))
                return fail(QStringLiteral("--skip-name takes a folder name, not empty and without \"/\" (got \"%1\")").arg(v));
            if (!o.skipNames.contains(v))
                o.skipNames.append(v);
        } else if (arg == QLatin1String("--criteria")) {
            o.criteriaFiles.append(v);
        } else if (arg == QLatin1String("--saved")) {
            if (v.trimmed().isEmpty())
                return fail(QStringLiteral("--saved needs a name or an identifier (see --list-saved)"));
            o.savedName = v;
        } else if (arg == QLatin1String("--threads")) {
            bool ok = false;
            o.threads = v.toInt(&ok);
            if (!ok || o.threads < 1 || o.threads > 64)
                return fail(QStringLiteral("--threads takes a number of readers from 1 to 64 (got \"%1\")").arg(v));
        } else if (arg == QLatin1String("--save")) {
            if (v.trimmed().isEmpty())
                return fail(QStringLiteral("--save needs a name"));
            o.saveName = v;
        }
    }

    if (positional.size() > 1)
        return fail(QStringLiteral("only one PATTERN may be given (got %1); quote patterns with spaces or \"*\"")
                        .arg(positional.size()));
    if (!positional.isEmpty()) {
        o.pattern = positional.first();
        o.patternCriteria = KZFileNameCriteriaFromSearchText(o.pattern);
    }
    if (!scopeGiven)
        o.scope = QDir::cleanPath(currentDir);
    // Sub-folders name folders of the scope: a relative one is read from the scope.
    auto absolutes = [&](const QStringList &dirs) {
        QStringList list;
        for (const QString &d : dirs)
            list.append(absolutePath(d, o.scope));
        return list;
    };
    const QStringList searchedDirs = absolutes(inDirs);
    for (const QString &dir : searchedDirs) {
        // The walk would leave it out and search the whole scope instead.
        if (dir != o.scope && !dir.startsWith(o.scope == QLatin1String("/") ? o.scope : o.scope + QLatin1Char('/')))
            return fail(QStringLiteral("--in %1 is not inside the scope %2").arg(dir, o.scope));
    }
    if (!searchedDirs.isEmpty())
        o.ruleCriteria.append(criterion(10, 4, searchedDirs));
    if (!skipDirs.isEmpty())
        o.ruleCriteria.append(criterion(10, 5, absolutes(skipDirs)));
    if (o.print0 && o.json)
        return fail(QStringLiteral("--print0 and --json cannot be combined"));
    if (o.count && (o.print0 || o.json))
        return fail(QStringLiteral("--count prints only the statistics line; it cannot be combined with --print0 or --json"));
    if (!o.saveName.isEmpty() && !o.savedName.isEmpty())
        return fail(QStringLiteral("--save and --saved cannot be combined"));
    *out = o;
    return TrovixFindParse::Ok;
}
