#include "platform/KZMimeTypes.h"

#include <mutex>
#include <shared_mutex>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include <QHash>
#include <QMimeDatabase>
#include <QRegularExpression>

namespace kzplatform {

namespace {

QByteArray asciiLower(const char *bytes, size_t length)
{
    QByteArray out(bytes, static_cast<qsizetype>(length));
    for (char &c : out)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return out;
}

bool hasWildcard(const QString &s)
{
    for (const QChar c : s)
        if (c == QLatin1Char('*') || c == QLatin1Char('?') || c == QLatin1Char('['))
            return true;
    return false;
}

class Registry
{
public:
    Registry()
    {
        // Sort the glob patterns into the ones a suffix cache can trust and
        // the ones that look at more than the last suffix.
        const QList<QMimeType> all = m_db.allMimeTypes();
        for (const QMimeType &type : all) {
            for (const QString &rawPattern : type.globPatterns()) {
                const QString pattern = rawPattern.toLower();
                if (pattern.startsWith(QLatin1Char('*'))) {
                    const QString rest = pattern.mid(1);
                    // "*.ext", "*~", "*,v": the ending decides, and the ending
                    // lies inside the last suffix.
                    if (rest.count(QLatin1Char('.')) <= 1)
                        continue;
                    addUntrustedSegment(rest.mid(rest.lastIndexOf(QLatin1Char('.')) + 1));
                    continue;
                }
                // A whole-name pattern ("makefile", "readme*", "[0-9][0-9][0-9].vdr").
                qsizetype literal = 0;
                while (literal < pattern.size() && pattern.at(literal) != QLatin1Char('*')
                       && pattern.at(literal) != QLatin1Char('?') && pattern.at(literal) != QLatin1Char('['))
                    ++literal;
                if (literal > 0)
                    m_namePrefixes.push_back(pattern.left(literal).toUtf8());
                else if (pattern.contains(QLatin1Char('.')))
                    addUntrustedSegment(pattern.mid(pattern.lastIndexOf(QLatin1Char('.')) + 1));
            }
        }
    }

    QString typeForName(const char *name, size_t length)
    {
        const char *dot = nullptr;
        for (size_t i = length; i > 0; --i) {
            if (name[i - 1] == '.') {
                dot = name + i - 1;
                break;
            }
        }
        if (!dot || startsWithNamePrefix(name, length))
            return lookUp(name, length);

        const std::string suffix(dot + 1, name + length - (dot + 1));
        {
            std::shared_lock lock(m_mutex);
            const auto it = m_suffixCache.find(suffix);
            if (it != m_suffixCache.end()) {
                if (it->second.bySuffix)
                    return it->second.typeName;
                lock.unlock();
                return lookUp(name, length);
            }
        }
        const QString typeName = lookUp(name, length);
        const bool bySuffix = !isUntrustedSuffix(suffix);
        std::unique_lock lock(m_mutex);
        m_suffixCache.emplace(suffix, CacheEntry{typeName, bySuffix});
        return typeName;
    }

    bool conforms(const QString &typeName, const QString &identifier)
    {
        if (typeName.isEmpty() || identifier.isEmpty())
            return false;
        if (identifier == QLatin1String("*/*"))
            return true;
        if (typeName == identifier)
            return true;
        const QString key = typeName + QLatin1Char('\n') + identifier;
        {
            std::shared_lock lock(m_mutex);
            const auto it = m_conformance.constFind(key);
            if (it != m_conformance.constEnd())
                return it.value();
        }
        const bool answer = computeConformance(typeName, identifier);
        std::unique_lock lock(m_mutex);
        m_conformance.insert(key, answer);
        return answer;
    }

    void clear()
    {
        std::unique_lock lock(m_mutex);
        m_suffixCache.clear();
        m_conformance.clear();
    }

private:
    struct CacheEntry {
        QString typeName;
        bool bySuffix;
    };

    void addUntrustedSegment(const QString &segment)
    {
        if (hasWildcard(segment))
            m_untrustedSuffixPatterns.emplace_back(QRegularExpression::wildcardToRegularExpression(segment),
                                                   QRegularExpression::CaseInsensitiveOption);
        else
            m_untrustedSuffixes.insert(segment.toStdString());
    }

    bool isUntrustedSuffix(const std::string &suffix) const
    {
        const QByteArray lower = asciiLower(suffix.data(), suffix.size());
        if (m_untrustedSuffixes.count(lower.toStdString()))
            return true;
        const QString s = QString::fromUtf8(lower);
        for (const QRegularExpression &re : m_untrustedSuffixPatterns)
            if (re.match(s).hasMatch())
                return true;
        return false;
    }

    bool startsWithNamePrefix(const char *name, size_t length) const
    {
        for (const QByteArray &prefix : m_namePrefixes) {
            if (static_cast<size_t>(prefix.size()) > length)
                continue;
            bool equal = true;
            for (qsizetype i = 0; i < prefix.size() && equal; ++i) {
                char c = name[i];
                if (c >= 'A' && c <= 'Z')
                    c = static_cast<char>(c - 'A' + 'a');
                equal = c == prefix.at(i);
            }
            if (equal)
                return true;
        }
        return false;
    }

    QString lookUp(const char *name, size_t length)
    {
        const QMimeType type = m_db.mimeTypeForFile(QString::fromUtf8(name, static_cast<qsizetype>(length)),
                                                    QMimeDatabase::MatchExtension);
        return type.isValid() ? type.name() : QString();
    }

    bool computeConformance(const QString &typeName, const QString &identifier)
    {
        const QMimeType type = m_db.mimeTypeForName(typeName);
        if (identifier.endsWith(QLatin1String("/*"))) {
            const QString media = identifier.chopped(1); // "image/"
            if (typeName.startsWith(media, Qt::CaseInsensitive))
                return true;
            if (!type.isValid())
                return false;
            for (const QString &ancestor : type.allAncestors())
                if (ancestor.startsWith(media, Qt::CaseInsensitive))
                    return true;
            return false;
        }
        if (!type.isValid())
            return false;
        if (type.inherits(identifier))
            return true;
        // The identifier may be an alias of one of the ancestors.
        const QMimeType wanted = m_db.mimeTypeForName(identifier);
        return wanted.isValid() && type.inherits(wanted.name());
    }

    QMimeDatabase m_db;
    std::vector<QByteArray> m_namePrefixes;
    std::unordered_set<std::string> m_untrustedSuffixes;
    std::vector<QRegularExpression> m_untrustedSuffixPatterns;

    std::shared_mutex m_mutex;
    std::unordered_map<std::string, CacheEntry> m_suffixCache;
    QHash<QString, bool> m_conformance;
};

Registry &registry()
{
    static Registry instance;
    return instance;
}

} // namespace

QString KZMimeTypes::directoryTypeName()
{
    return QStringLiteral("inode/directory");
}

QString KZMimeTypes::typeNameForFileName(const char *name, size_t length)
{
    if (!name || length == 0)
        return QString();
    return registry().typeForName(name, length);
}

QString KZMimeTypes::typeNameForFileName(const QString &name)
{
    const QByteArray bytes = name.toUtf8();
    return typeNameForFileName(bytes.constData(), static_cast<size_t>(bytes.size()));
}

bool KZMimeTypes::typeConformsTo(const QString &typeName, const QString &identifier)
{
    return registry().conforms(typeName, identifier);
}

void KZMimeTypes::clearCaches()
{
    registry().clear();
}

} // namespace kzplatform
