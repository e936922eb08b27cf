#include "support/KZLocalization.h"

#include <mutex>

#include <QCoreApplication>
#include <QHash>
#include <QRegularExpression>

void kzRegisterSupportEnglishTables();

namespace {

struct Tables {
    std::mutex mutex;
    QHash<QString, QHash<QString, QString>> english; // table -> key -> text
};

Tables &tables()
{
    static Tables t;
    return t;
}

void ensureBuiltInTables()
{
    static std::once_flag once;
    std::call_once(once, [] { kzRegisterSupportEnglishTables(); });
}

} // namespace

void KZLocalization::registerEnglish(const char *table, std::initializer_list<std::pair<const char *, const char *>> entries)
{
    Tables &t = tables();
    std::lock_guard<std::mutex> lock(t.mutex);
    auto &map = t.english[QString::fromUtf8(table)];
    for (const auto &[key, text] : entries)
        map.insert(QString::fromUtf8(key), QString::fromUtf8(text));
}

QString KZLocalization::localizedString(const QString &key, const char *table)
{
    const char *context = table ? table : KZLocalizationMainTable;
    if (QCoreApplication::instance()) {
        const QByteArray keyBytes = key.toUtf8();
        const QString translated = QCoreApplication::translate(context, keyBytes.constData());
        if (translated != key)
            return translated;
    }
    ensureBuiltInTables();
    Tables &t = tables();
    std::lock_guard<std::mutex> lock(t.mutex);
    const auto tableIt = t.english.constFind(QString::fromUtf8(context));
    if (tableIt != t.english.constEnd()) {
        const auto it = tableIt->constFind(key);
        if (it != tableIt->constEnd())
            return *it;
    }
    return key;
}

QString KZStringWithFormat(const QString &format, const QStringList &arguments)
{
    static const QRegularExpression conversion(
        QStringLiteral("%(%|@|[-+ 0#]*[0-9]*(?:\\.[0-9]+)?(?:hh|h|ll|l|q|z|t|j)?[diouxXfFeEgGsc])"));
    QString out;
    out.reserve(format.size() + 32);
    qsizetype last = 0;
    qsizetype next = 0;
    auto it = conversion.globalMatch(format);
    while (it.hasNext()) {
        const auto m = it.next();
        out += QStringView(format).mid(last, m.capturedStart() - last);
        if (m.captured(1) == QLatin1String("%"))
            out += QLatin1Char('%');
        else if (next < arguments.size())
            out += arguments.at(next++);
        else
            out += m.captured(0);
        last = m.capturedEnd();
    }
    out += QStringView(format).mid(last);
    return out;
}
