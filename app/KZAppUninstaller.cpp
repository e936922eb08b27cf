#include "app/KZAppUninstaller.h"
#include "platform/KZXdgDirs.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QThreadPool>
#include <QUrl>
#include <cstdlib>
#include <sys/stat.h>

#include "platform/KZSharedLoginItems.h"
#include "platform/KZTrash.h"
#include "results/KZFileViewer.h"
#include "support/KZFunctions.h"
#include "support/KZLocalization.h"
#include "support/KZLog.h"
#include "update/KZUpdateInstaller.h"

namespace {

// An entry is there when lstat finds it: a dangling link is moved too.
bool entryExists(const QString &path)
{
    struct stat st;
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0;
}

} // namespace

KZAppUninstaller &KZAppUninstaller::sharedInstance()
{
    static KZAppUninstaller *instance = new KZAppUninstaller;
    return *instance;
}

KZAppUninstaller::KZAppUninstaller(QObject *parent)
    : QObject(parent)
    , _pool(new QThreadPool(this))
{
    // One move at a time, in the order asked.
    _pool->setMaxThreadCount(1);
}

QStringList KZAppUninstaller::perUserItems()
{
    using kzplatform::kzXdgBaseDir;
    return { kzXdgBaseDir("XDG_CONFIG_HOME", ".config") + QStringLiteral("/Trovix"),
             kzXdgBaseDir("XDG_DATA_HOME", ".local/share") + QStringLiteral("/org.trovix.Trovix"),
             kzXdgBaseDir("XDG_CACHE_HOME", ".cache") + QStringLiteral("/org.trovix.Trovix"),
             kzXdgBaseDir("XDG_STATE_HOME", ".local/state") + QStringLiteral("/org.trovix.Trovix"),
             kzplatform::KZSharedLoginItems::autostartFolder() + QLatin1Char('/')
                 + kzplatform::KZSharedLoginItems::entryFileName() };
}

bool KZAppUninstaller::isOfferedForPrefix(const QString &prefix)
{
    return QFileInfo::exists(prefix + QLatin1Char('/') + KZInstalledFilesListPath)
        && !KZUpdateInstaller::isInstalledByPackageManager(prefix + QStringLiteral("/bin/trovix"));
}

void KZAppUninstaller::beginAsSheetForWindow(QWidget *window, const QList<QWidget *> &controlsToDisable)
{
    // The name the user knows ("Trovix"), not the executable's.
    QString name = QCoreApplication::applicationName();
    if (name.isEmpty())
        name = KZFunctions::appName();
    auto *alert = new QMessageBox(window);
    alert->setAttribute(Qt::WA_DeleteOnClose);
    alert->setIcon(QMessageBox::Warning);
    alert->setWindowTitle(name);
    alert->setText(KZStringWithFormat(KZLocalizedString("Are you sure you want to uninstall %@?"),
                                      { name }));
    alert->setInformativeText(KZLocalizedString("The files will be moved to the trash."));
    QPushButton *cancel = alert->addButton(KZLocalizedString("Cancel"), QMessageBox::RejectRole);
    QPushButton *uninstall = alert->addButton(KZLocalizedString("Uninstall"), QMessageBox::DestructiveRole);
    alert->setDefaultButton(cancel);
    alert->setEscapeButton(cancel);
    const auto answered = [this, alert, uninstall, controlsToDisable] {
        if (alert->clickedButton() != uninstall)
            return;
        for (QWidget *control : controlsToDisable)
            control->setEnabled(false);
        startUninstallApp();
    };
    if (window) {
        alert->setWindowModality(Qt::WindowModal);
        connect(alert, &QMessageBox::finished, this, answered);
        alert->open();
    } else {
        alert->setAttribute(Qt::WA_DeleteOnClose, false);
        alert->exec();
        answered();
        delete alert;
    }
}

void KZAppUninstaller::startUninstallApp()
{
    if (_hasRun)
        return;
    _hasRun = true;
    // The recorded files stand for the application bundle: one operation,
    // counted before anything is looked at.
    _nbWaitOp = 1;
    const QString prefix = _prefix;
    const QStringList candidates = perUserItems();
    _pool->start([this, prefix, candidates] {
        const QString root = prefix.isEmpty() ? KZUpdateInstaller::runningPrefix() : prefix;
        QStringList recorded;
        const bool listRead
            = KZUpdateInstaller::readInstalledFiles(root + QLatin1Char('/') + KZInstalledFilesListPath, &recorded);
        for (QString &path : recorded)
            path.prepend(root + QLatin1Char('/'));
        QStringList present;
        for (const QString &item : candidates)
            if (entryExists(item))
                present.append(item);
        QMetaObject::invokeMethod(
            this, [this, listRead, recorded, present] { operationsFound(listRead, recorded, present); },
            Qt::QueuedConnection);
    });
}

void KZAppUninstaller::operationsFound(bool listRead, const QStringList &recordedFiles, const QStringList &userItems)
{
    if (!listRead)
        KZLOG_CRITICAL_M(QStringLiteral("installedFiles==nil"));
    trashOnWorker(recordedFiles, true);
    for (const QString &item : userItems) {
        ++_nbWaitOp;
        trashOnWorker({ item }, false);
    }
}

void KZAppUninstaller::trashOnWorker(const QStringList &paths, bool revealFailures)
{
    _pool->start([this, paths, revealFailures] {
        QStringList failed;
        for (const QString &path : paths) {
            QString error;
            // A recorded file the user already removed is no failure.
            if (!entryExists(path) || kzplatform::kzMoveToTrash(path, &error))
                continue;
            KZLOG_WARNING_F(QStringLiteral("moveToTrash==NO path:%1 error:%2").arg(path, error));
            failed.append(path);
        }
        QMetaObject::invokeMethod(
            this,
            [this, failed, revealFailures] {
                // What stays of the program is shown, so the user can remove it by hand.
                if (revealFailures && !failed.isEmpty()) {
                    if (_revealer) {
                        _revealer(failed);
                    } else {
                        QList<QUrl> urls;
                        for (const QString &path : failed)
                            urls.append(QUrl::fromLocalFile(path));
                        KZFileViewer::activateFileViewerSelectingURLs(urls);
                    }
                }
                finalizeUninstallApp();
            },
            Qt::QueuedConnection);
    });
}

void KZAppUninstaller::finalizeUninstallApp()
{
    const qint64 before = _nbWaitOp--;
    if (before < 2)
        endProcess();
}

void KZAppUninstaller::endProcess()
{
    if (_processEnder) {
        _processEnder();
        return;
    }
    QProcess::startDetached(QStringLiteral("/bin/kill"),
                            { QStringLiteral("-9"), QString::number(QCoreApplication::applicationPid()) });
    // No exit handlers: they would write the settings back into the folder
    // just moved to the Trash.
    std::_Exit(-1);
}
