// Removes Trovix from the user's account on request: after a confirmation it
// moves to the Trash exactly the files the install recorded in
// share/trovix/installed-files of its prefix (never the prefix folder or any
// other file in it), then the per-user settings, data, cache and state
// folders and the autostart entry, and then ends the process. Offered only
// for a per-user install: the package manager removes what it installed.
// GUI thread; the Trash moves run on a worker of their own and report back
// here, one at a time.
#pragma once

#include <QList>
#include <QObject>
#include <QStringList>
#include <functional>

class QThreadPool;
class QWidget;

class KZAppUninstaller : public QObject
{
    Q_OBJECT
public:
    static KZAppUninstaller &sharedInstance();

    // Asks "Are you sure you want to uninstall Trovix?" (a sheet on window,
    // or modal without one); "Uninstall" disables the controls and starts
    // the removal, any other answer does nothing.
    void beginAsSheetForWindow(QWidget *window, const QList<QWidget *> &controlsToDisable);
    // The removal; runs at most once per process.
    void startUninstallApp();
    // One Trash operation finished; the last one ends the process.
    void finalizeUninstallApp();

    bool hasRun() const { return _hasRun; }
    qint64 nbWaitOp() const { return _nbWaitOp; }

    // The per-user items, in the order they are moved: the settings folder,
    // the data, cache and state folders, and the autostart entry.
    static QStringList perUserItems();
    // Whether the install at prefix is the user's own: it recorded its files
    // and the package manager does not own it. Runs a process: on a worker.
    static bool isOfferedForPrefix(const QString &prefix);

    // Tests: the prefix whose recorded files go (default: the running one),
    // what ends the process (default: kill -9 of this process, then exit -1),
    // and the paths that could not be moved, instead of revealing them.
    void setPrefixForTesting(const QString &prefix) { _prefix = prefix; }
    void setProcessEnderForTesting(std::function<void()> ender) { _processEnder = std::move(ender); }
    void setRevealerForTesting(std::function<void(const QStringList &)> revealer) { _revealer = std::move(revealer); }

private:
    explicit KZAppUninstaller(QObject *parent = nullptr);
    // Queued to the worker; its completion comes back through finalizeUninstallApp.
    void trashOnWorker(const QStringList &paths, bool revealFailures);
    void operationsFound(bool listRead, const QStringList &recordedFiles, const QStringList &userItems);
    void endProcess();

    bool _hasRun = false;
    qint64 _nbWaitOp = 0;
    QString _prefix;
    QThreadPool *_pool = nullptr;
    std::function<void()> _processEnder;
    std::function<void(const QStringList &)> _revealer;
};
