// The user's login items as the desktop keeps them: the XDG autostart entries
// ("*.desktop") of $XDG_CONFIG_HOME/autostart. An entry belongs to a program by
// path (its Exec program is that executable) or by name (its file name or its
// Name= is "Trovix" or "trovix"); it is stale when its Exec program is gone.
// Entries this code cannot read with certainty (malformed, or a program on a
// file system that does not answer) are left as they are, byte for byte.
// Qt Core only; each call reads the folder anew. Failures are returned as
// messages in *errors for the caller to log.
#pragma once

#include <QString>
#include <QStringList>

namespace kzplatform {

class KZSharedLoginItems
{
public:
    // $XDG_CONFIG_HOME/autostart.
    static QString autostartFolder();
    // The entry file this program writes: autostartFolder()/org.trovix.Trovix.desktop.
    static QString entryFileName();

    // Removes stale and foreign same-name entries, then writes an entry that
    // starts executable hidden (with --background) unless one belongs by path
    // already. True when an entry of executable is there afterwards.
    static bool addLoginItem(const QString &executable, QStringList *errors = nullptr);
    // Removes every entry that belongs by path or by name; true when at least
    // one removal was attempted.
    static bool removeLoginItem(const QString &executable, QStringList *errors = nullptr);
    // True when some entry belongs by path or by name; *isValid: some belongs by path.
    static bool isLoginItem(const QString &executable, bool *isValid, QStringList *errors = nullptr);

    // The first Exec= argument of an entry's text (unquoted and unescaped), or
    // null when the text is no well-formed desktop entry.
    static QString execProgramOfEntry(const QByteArray &text);
};

} // namespace kzplatform
