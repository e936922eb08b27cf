// Installs an unpacked update into the prefix Trovix was installed into
// (`/usr/local`, `~/.local`, ...), which other programs share. The install
// lists what it put there in share/trovix/installed-files (paths relative to
// the prefix); an update replaces exactly those files with the new tree's,
// adds the files of the new list and removes the files of the old list that
// the new one no longer has. Every file it touches is first copied into a
// backup folder, and any failure puts them all back: all or nothing.
#pragma once

#include <QString>
#include <QStringList>
#include <optional>

// The list's place inside a prefix or an unpacked tree.
inline const QString KZInstalledFilesListPath = QStringLiteral("share/trovix/installed-files");

class KZUpdateInstaller
{
public:
    enum Result {
        Installed,
        // Nothing changed (refused before the first change, or every file put back).
        FailedUnchanged,
        // A change could not be undone: the installation may be incomplete.
        FailedIncomplete,
    };

    // Reads a list: one relative path a line; empty lines skipped. False when
    // unreadable or when a line is absolute, holds "..", or is not clean.
    static bool readInstalledFiles(const QString &listPath, QStringList *paths);

    // Replaces the files of `prefix` listed in the two lists with those of
    // `newTree`; `backupDir` must be an empty folder of our own. Blocks on the
    // disk: call from a worker or the privileged helper.
    static Result replaceInstalledFiles(
        const QString &prefix, const QString &newTree, const QString &backupDir, QString *error);

    // The prefix holding the running executable (<prefix>/bin/trovix).
    static QString runningPrefix();
    // After FailedIncomplete the backup holds the only copy of old files that
    // could not be put back: it moves out of a working folder about to be
    // removed, into a folder of its own in the temporary directory. Returns
    // where it went, or a null string (logged) when it could not move.
    static QString keepBackup(const QString &backup);
    // True when the package manager owns the executable: it belongs to a
    // Debian package (`dpkg-query -S`) or lives under /usr (but not /usr/local).
    // Runs a process: not on the GUI thread.
    static bool isInstalledByPackageManager(const QString &executablePath);
    // Tests pretend the package manager owns (or does not own) the install.
    static void setInstalledByPackageManagerForTesting(std::optional<bool> owned);
    // True when the user may change every listed file of the prefix (and
    // create the new ones) without privileges.
    static bool canWriteInstalledFiles(const QString &prefix, const QStringList &paths);

    // The same replace run through `pkexec` by the program at `helperPath`
    // (`trovix --replace-installed-files NEW_TREE PREFIX`, which keeps its
    // backup in a private temporary folder). A refused or cancelled
    // authorisation is "Can not get privileges".
    static Result replaceWithPrivileges(
        const QString &helperPath, const QString &prefix, const QString &newTree, QString *error);
    // The non-GUI mode behind it: arguments after the option; the exit status.
    static int runReplaceCommand(const QStringList &arguments);
    static inline const QString ReplaceOption = QStringLiteral("--replace-installed-files");
};
