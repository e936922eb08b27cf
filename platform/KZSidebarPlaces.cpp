#include "platform/KZSidebarPlaces.h"

#include <sys/stat.h>
#include <unistd.h>
#include <climits>

#include <QDir>
#include <QFile>
#include <QHash>
#include <QStandardPaths>
#include <QXmlStreamReader>

#include "platform/KZGuardedFS.h"

namespace kzplatform {

namespace {

QByteArray readFile(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.read(4 * 1024 * 1024);
}

// A double-quoted shell word of user-dirs.dirs, with \ escapes removed.
QByteArray unquote(const QByteArray &value)
{
    QByteArray v = value.trimmed();
    if (v.size() < 2 || !v.startsWith('"') || !v.endsWith('"'))
        return {};
    v = v.mid(1, v.size() - 2);
    QByteArray out;
    for (qsizetype i = 0; i < v.size(); ++i) {
        if (v.at(i) == '\\' && i + 1 < v.size())
            ++i;
        out.append(v.at(i));
    }
    return out;
}

QByteArray cleanPath(const QByteArray &path)
{
    QByteArray out;
    for (const QByteArray &part : path.split('/'))
        if (!part.isEmpty() && part != ".")
            out += '/' + part;
    return out.isEmpty() ? QByteArray("/") : out;
}

QString configHome()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
}

QString dataHome()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
}

} // namespace

QList<QByteArray> kzXdgUserFolderPaths(const QString &userDirsFile, const QByteArray &home)
{
    static const std::pair<const char *, const char *> folders[] = {
        {"XDG_DESKTOP_DIR", "Desktop"}, {"XDG_DOCUMENTS_DIR", "Documents"}, {"XDG_DOWNLOAD_DIR", "Downloads"},
        {"XDG_MUSIC_DIR", "Music"},     {"XDG_PICTURES_DIR", "Pictures"},   {"XDG_VIDEOS_DIR", "Videos"},
    };
    QHash<QByteArray, QByteArray> configured;
    for (const QByteArray &rawLine : readFile(userDirsFile).split('\n')) {
        const QByteArray line = rawLine.trimmed();
        const qsizetype eq = line.indexOf('=');
        if (line.startsWith('#') || eq <= 0)
            continue;
        const QByteArray value = unquote(line.mid(eq + 1));
        if (value.startsWith("$HOME/") || value == "$HOME")
            configured.insert(line.left(eq), cleanPath(home + '/' + value.mid(5)));
        else if (value.startsWith('/'))
            configured.insert(line.left(eq), cleanPath(value));
    }
    QList<QByteArray> paths;
    for (const auto &[key, fallback] : folders)
        paths.append(configured.value(key, cleanPath(home + '/' + fallback)));
    return paths;
}

QByteArray kzLocalPathOfFileUri(const QByteArray &uri)
{
    if (!uri.startsWith("file://"))
        return {};
    QByteArray rest = uri.mid(7);
    const qsizetype slash = rest.indexOf('/');
    if (slash < 0)
        return {};
    const QByteArray host = rest.left(slash);
    if (!host.isEmpty() && host != "localhost")
        return {};
    rest = rest.mid(slash);
    for (const char c : {'?', '#'}) {
        const qsizetype cut = rest.indexOf(c);
        if (cut >= 0)
            rest.truncate(cut);
    }
    const QByteArray path = QByteArray::fromPercentEncoding(rest);
    if (path.contains('\0'))
        return {};
    return cleanPath(path);
}

QList<QByteArray> kzGtkBookmarkPaths(const QString &bookmarksFile)
{
    QList<QByteArray> paths;
    for (const QByteArray &rawLine : readFile(bookmarksFile).split('\n')) {
        const QByteArray line = rawLine.trimmed();
        const qsizetype space = line.indexOf(' ');
        const QByteArray path = kzLocalPathOfFileUri(space < 0 ? line : line.left(space));
        if (!path.isEmpty())
            paths.append(path);
    }
    return paths;
}

QList<QByteArray> kzKdePlacesPaths(const QString &xbelFile)
{
    QList<QByteArray> paths;
    QXmlStreamReader xml(readFile(xbelFile));
    QByteArray current;
    bool hidden = false;
    int depth = 0, bookmarkDepth = -1;
    while (!xml.atEnd()) {
        const QXmlStreamReader::TokenType token = xml.readNext();
        if (token == QXmlStreamReader::StartElement) {
            ++depth;
            if (xml.name() == QLatin1String("bookmark") && bookmarkDepth < 0) {
                bookmarkDepth = depth;
                current = kzLocalPathOfFileUri(xml.attributes().value(QLatin1String("href")).toUtf8());
                hidden = false;
            } else if (bookmarkDepth >= 0 && xml.name() == QLatin1String("IsHidden")) {
                hidden = xml.readElementText().trimmed() == QLatin1String("true");
                --depth; // readElementText consumed the end element
            }
        } else if (token == QXmlStreamReader::EndElement) {
            if (depth == bookmarkDepth) {
                if (!current.isEmpty() && !hidden)
                    paths.append(current);
                bookmarkDepth = -1;
            }
            --depth;
        }
    }
    return paths;
}

bool kzIsExistingFolderGuarded(const QByteArray &absolutePath)
{
    QByteArray path = absolutePath;
    for (int hops = 0; hops <= 40; ++hops) {
        KZStat st;
        if (kzLstatGuarded(path, &st) != 0)
            return false;
        if (S_ISDIR(st.mode))
            return true;
        if (!S_ISLNK(st.mode))
            return false;
        // The link target is read where the link lives, then checked in turn.
        int err = 0;
        const std::optional<QByteArray> target = kzCallForPath<QByteArray>(
            path, kzDefaultProbeTimeoutMs,
            [path]() {
                QByteArray buf(PATH_MAX, '\0');
                const ssize_t n = ::readlink(path.constData(), buf.data(), buf.size());
                return n > 0 ? buf.left(n) : QByteArray();
            },
            &err);
        if (!target || target->isEmpty())
            return false;
        if (target->startsWith('/')) {
            path = cleanPath(*target);
        } else {
            const qsizetype slash = path.lastIndexOf('/');
            path = cleanPath(path.left(slash) + '/' + *target);
        }
    }
    return false;
}

QList<QByteArray> kzSidebarFavoritePaths()
{
    const QByteArray home = QFile::encodeName(QDir::homePath());
    QList<QByteArray> candidates = kzXdgUserFolderPaths(configHome() + QStringLiteral("/user-dirs.dirs"), home);
    candidates += kzGtkBookmarkPaths(configHome() + QStringLiteral("/gtk-3.0/bookmarks"));
    candidates += kzKdePlacesPaths(dataHome() + QStringLiteral("/user-places.xbel"));
    QList<QByteArray> paths;
    for (const QByteArray &p : candidates)
        if (!paths.contains(p) && kzIsExistingFolderGuarded(p))
            paths.append(p);
    return paths;
}

} // namespace kzplatform
