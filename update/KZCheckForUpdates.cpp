#include "update/KZCheckForUpdates.h"
#include "support/KZWebAddressPolicy.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QHostAddress>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QProcess>
#include <QSaveFile>
#include <QtConcurrent/QtConcurrentRun>
#include <utility>

#include "support/KZFileSafety.h"
#include "support/KZFunctions.h"
#include "support/KZLocalization.h"
#include "support/KZLog.h"
#include "support/KZNotificationCenter.h"
#include "support/KZUserDefaults.h"
#include "update/KZUpdateArchive.h"
#include "update/KZUpdateInstaller.h"
#include "update/KZUpdateVersionFile.h"

namespace
{

const QString kLastCheck = QStringLiteral("KZCheckForUpdates-LastCheck");
const QString kLastCheckUpToDate = QStringLiteral("KZCheckForUpdates-LastCheckUpToDate");
const QString kIgnoredVersion = QStringLiteral("KZCheckForUpdates-IgnoredVersion");
const QString kCBuild = QStringLiteral("KZCheckForUpdates-cBuild");
const QString kUser = QStringLiteral("UserInteraction");
const QString kCrashReport = QStringLiteral("cr");
constexpr int kTimeoutMs = 30000;
constexpr qint64 kMaxVersionFile = 64 * 1024;
constexpr qint64 kMaxArchive = 1024LL * 1024 * 1024;

QString kzText(const char *key, const QStringList &arguments = {})
{
    return KZStringWithFormat(KZLocalizedString(key, "KZCheckForUpdates"), arguments);
}

QString displayName()
{
    const QString name = QCoreApplication::applicationName();
    return name.isEmpty() ? KZFunctions::appName() : name;
}

QString sizeText(qint64 count)
{
    return KZFunctions::stringFromBytesWithBin1024Style(count);
}

struct InstallOutcome {
    bool ok = false;
    QString reason;
    bool quit = false;
};

InstallOutcome failed(const QString &log, const QString &reason, bool quit = false)
{
    KZLOG_ERROR_F(log);
    return { false, reason, quit };
}

InstallOutcome installUpdateWithData(const QByteArray &data, const QByteArray &sha256, const QString &prefix)
{
    if (data.isEmpty())
        return failed(QStringLiteral("data.length==0"), QString());
    if (!sha256.isEmpty() && QCryptographicHash::hash(data, QCryptographicHash::Sha256) != sha256)
        return failed(QStringLiteral("sha256 mismatch"), kzText("The downloaded update is damaged."));
    if (KZUpdateInstaller::isInstalledByPackageManager(prefix + QStringLiteral("/bin/trovix")))
        return failed(QStringLiteral("packageManaged==YES prefix:%1").arg(prefix),
            kzText("Trovix was installed by your package manager; update it there."));
    const QString work = kzMakeOwnWorkingFolder(
        QDir::tempPath() + QStringLiteral("/%1-KZCheckForUpdates").arg(KZBundleIdentifier),
        QStringLiteral("-%1").arg(QDateTime::currentSecsSinceEpoch() - 978307200));
    if (work.isEmpty())
        return failed(QStringLiteral("createDirectory==NO"), kzText("Can not create temporary directory"));
    struct Cleanup {
        QString path;
        ~Cleanup()
        {
            if (!path.isEmpty() && !QDir(path).removeRecursively())
                KZLOG_WARNING_F(QStringLiteral("removeItemAtPath==NO path:%1").arg(path));
        }
    } cleanup { work };

    const QString zipPath = work + QStringLiteral("/%1.zip").arg(displayName().remove(QLatin1Char(' ')));
    QSaveFile zip(zipPath);
    if (!zip.open(QIODevice::WriteOnly) || zip.write(data) != data.size() || !zip.commit())
        return failed(QStringLiteral("write==NO path:%1 error:%2").arg(zipPath, zip.errorString()),
            kzText("Can not write downloaded data as file"));
    const QString content = work + QStringLiteral("/content");
    QString why;
    if (!QDir().mkdir(content) || !kzExtractUpdateArchive(zipPath, content, &why))
        return failed(QStringLiteral("extract==NO %1").arg(why), kzText("Can not unzip data file"));
    if (!QFile::exists(content + QLatin1Char('/') + KZInstalledFilesListPath))
        return failed(QStringLiteral("content==nil path:%1").arg(content), kzText("Can not found content of app"));

    QStringList oldPaths, newPaths;
    KZUpdateInstaller::readInstalledFiles(prefix + QLatin1Char('/') + KZInstalledFilesListPath, &oldPaths);
    KZUpdateInstaller::readInstalledFiles(content + QLatin1Char('/') + KZInstalledFilesListPath, &newPaths);
    KZUpdateInstaller::Result result;
    if (KZUpdateInstaller::canWriteInstalledFiles(prefix, oldPaths + newPaths)) {
        const QString backup = work + QStringLiteral("/backup");
        result = QDir().mkdir(backup) ? KZUpdateInstaller::replaceInstalledFiles(prefix, content, backup, &why)
                                      : KZUpdateInstaller::FailedUnchanged;
        if (why.isEmpty() && result != KZUpdateInstaller::Installed)
            why = kzText("Can not create temporary directory");
    } else {
        KZLOG_INFO_F(QStringLiteral("not writable prefix:%1").arg(prefix));
        result
            = KZUpdateInstaller::replaceWithPrivileges(prefix + QStringLiteral("/bin/trovix"), prefix, content, &why);
    }
    if (result == KZUpdateInstaller::FailedIncomplete && QFileInfo::exists(work + QStringLiteral("/backup"))) {
        // The working folder goes; the old files that could not be put back
        // must not go with it.
        const QString kept = KZUpdateInstaller::keepBackup(work + QStringLiteral("/backup"));
        if (!kept.isEmpty())
            why += QStringLiteral(" (backup: %1)").arg(kept);
        else
            cleanup.path.clear();
    }
    if (result != KZUpdateInstaller::Installed)
        return { false, why, result == KZUpdateInstaller::FailedIncomplete };
    return { true, QString(), false };
}

} // namespace

KZCheckForUpdates *KZCheckForUpdates::sharedInstance()
{
    static KZCheckForUpdates *instance = new KZCheckForUpdates(QCoreApplication::instance());
    return instance;
}

KZCheckForUpdates::KZCheckForUpdates(QObject *parent)
    : QObject(parent)
    , _network(new QNetworkAccessManager(this))
{
    static const bool english = [] {
        KZLocalization::registerEnglish(
            "KZCheckForUpdates", { { "A new version of %@ is avalaible!", "A new version of %@ is available!" } });
        return true;
    }();
    Q_UNUSED(english);
    _network->setRedirectPolicy(QNetworkRequest::UserVerifiedRedirectPolicy);
}

KZCheckForUpdates::~KZCheckForUpdates() = default;

void KZCheckForUpdates::setAppBuild(qint64 build, const QUrl &infoURL)
{
    _build = build;
    _infoURL = infoURL;
    KZUserDefaults::standardUserDefaults().removeObjectForKey(kCBuild);
}

qint64 KZCheckForUpdates::appBuild() const
{
    return _build;
}

QDateTime KZCheckForUpdates::lastCheck() const
{
    return KZUserDefaults::standardUserDefaults().dateForKey(kLastCheck);
}

void KZCheckForUpdates::setPresenter(KZCheckForUpdatesPresenter *presenter)
{
    _presenter = presenter;
}

void KZCheckForUpdates::setInstallPrefix(const QString &prefix)
{
    _prefix = prefix;
}

int KZCheckForUpdates::connectionAction() const
{
    return _connectionAction;
}

bool KZCheckForUpdates::isIdle() const
{
    return _connectionAction == Idle && !_pendingWork;
}

const KZUpdateWindowState &KZCheckForUpdates::windowState() const
{
    return _state;
}

bool KZCheckForUpdates::isAllowedURL(const QUrl &url)
{
    return kzIsAllowedWebURL(url);
}

void KZCheckForUpdates::synchronizeAtLaunch()
{
    if (isIdle())
        performSynchronizing({});
}

void KZCheckForUpdates::synchronizeIfNecessary()
{
    if (!isIdle())
        return;
    const QDateTime last = lastCheck();
    if (!last.isValid() || last.secsTo(QDateTime::currentDateTime()) > 3600)
        performSynchronizing({});
}

void KZCheckForUpdates::synchronizeByUser()
{
    if (isIdle())
        performSynchronizing({ { kUser, true } });
}

void KZCheckForUpdates::synchronizeFromCrashReport()
{
    if (isIdle())
        performSynchronizing({ { kUser, true }, { kCrashReport, true } });
}

void KZCheckForUpdates::performSynchronizing(const QVariantMap &info)
{
    KZUserDefaults::standardUserDefaults().setDate(QDateTime::currentDateTime(), kLastCheck);
    _connectionInfo = info;
    _connectionAction = Checking;
    startRequest(_infoURL);
}

void KZCheckForUpdates::startRequest(const QUrl &url)
{
    _connectionData.clear();
    _dataValid = false;
    _expectedLength = -1;
    if (!isAllowedURL(url)) {
        KZLOG_ERROR_M(QStringLiteral("refused url:%1").arg(url.toString()));
        // Answered on the next turn, as a network failure would be.
        QMetaObject::invokeMethod(
            this, [this] { endRequest(true, QStringLiteral("refused address")); }, Qt::QueuedConnection);
        return;
    }
    QNetworkRequest request(url);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    request.setTransferTimeout(kTimeoutMs);
    QNetworkReply *reply = _network->get(request);
    _connection = reply;
    connect(reply, &QNetworkReply::redirected, reply, [this, reply](const QUrl &to) {
        if (isAllowedURL(to)) {
            Q_EMIT reply->redirectAllowed();
        } else {
            KZLOG_ERROR_M(QStringLiteral("refused redirect:%1").arg(to.toString()));
            reply->abort();
        }
    });
    connect(reply, &QNetworkReply::metaDataChanged, this, &KZCheckForUpdates::responseReceived);
    connect(reply, &QNetworkReply::readyRead, this, &KZCheckForUpdates::dataReceived);
    connect(reply, &QNetworkReply::finished, this, &KZCheckForUpdates::requestFinished);
}

void KZCheckForUpdates::responseReceived()
{
    QNetworkReply *reply = _connection;
    if (!reply || reply->attribute(QNetworkRequest::RedirectionTargetAttribute).isValid())
        return;
    const QVariant statusCode = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (!statusCode.isValid()) {
        KZLOG_ERROR_M(QStringLiteral("response:%1").arg(reply->url().toString()));
        _dataValid = false;
        return;
    }
    if (_connectionAction == Checking) {
        _dataValid = statusCode.toInt() == 200;
        if (!_dataValid)
            KZLOG_ERROR_M(QStringLiteral("httpResponse:%1 statusCode:%2 (%3)")
                              .arg(reply->url().toString())
                              .arg(statusCode.toInt())
                              .arg(reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString()));
        _connectionData.clear();
        return;
    }
    const QString type
        = reply->header(QNetworkRequest::ContentTypeHeader).toString().section(QLatin1Char(';'), 0, 0).trimmed();
    if (statusCode.toInt() != 200 || type != QLatin1String("application/zip")) {
        KZLOG_ERROR_M(QStringLiteral("statusCode:%1 Content-Type:%2").arg(statusCode.toInt()).arg(type));
        endRequest(true, QString());
        return;
    }
    _dataValid = true;
    _connectionData.clear();
    _expectedLength = reply->header(QNetworkRequest::ContentLengthHeader).toLongLong();
    KZUpdateWindowState state = _state;
    if (_expectedLength > 0) {
        state.barIndeterminate = false;
        state.barMaximum = _expectedLength;
        state.barValue = 0;
        state.barLabel = kzText("%@ of %@", { sizeText(0), sizeText(_expectedLength) });
    }
    setWindowState(state);
}

void KZCheckForUpdates::dataReceived()
{
    QNetworkReply *reply = _connection;
    if (!reply)
        return;
    const QByteArray chunk = reply->readAll();
    if (!_dataValid)
        return;
    _connectionData.append(chunk);
    const qint64 limit = _connectionAction == Checking ? kMaxVersionFile : kMaxArchive;
    if (_connectionData.size() > limit) {
        KZLOG_ERROR_M(QStringLiteral("body too large:%1").arg(_connectionData.size()));
        endRequest(true, QString());
        return;
    }
    if (_connectionAction == Downloading) {
        KZUpdateWindowState state = _state;
        state.barValue = _connectionData.size();
        state.barLabel = kzText("%@ of %@",
            { sizeText(_connectionData.size()),
                _expectedLength > 0 ? sizeText(_expectedLength) : QStringLiteral("?") });
        setWindowState(state);
    }
}

void KZCheckForUpdates::requestFinished()
{
    QNetworkReply *reply = _connection;
    if (!reply)
        return;
    dataReceived();
    if (!_connection)
        return;
    QString error;
    bool failed = reply->error() != QNetworkReply::NoError || !_dataValid;
    if (reply->error() != QNetworkReply::NoError)
        error = reply->errorString();
    if (!failed && _expectedLength >= 0 && _connectionData.size() != _expectedLength) {
        failed = true;
        error = QStringLiteral("received %1 of %2 bytes").arg(_connectionData.size()).arg(_expectedLength);
    }
    endRequest(failed, error);
}

void KZCheckForUpdates::endRequest(bool failed, const QString &error)
{
    if (QNetworkReply *reply = _connection) {
        reply->disconnect(this);
        _connection = nullptr;
        reply->abort();
        reply->deleteLater();
    }
    const int action = _connectionAction;
    const QVariantMap info = _connectionInfo;
    _connectionAction = Idle;
    _connectionInfo.clear();
    if (action == Checking)
        checkDidEndWithError(failed, error, info);
    else if (action == Downloading)
        downloadDidEndWithError(failed, error, info.value(QStringLiteral("sha256")).toByteArray());
}

void KZCheckForUpdates::checkDidEndWithError(bool hasError, const QString &error, const QVariantMap &info)
{
    const bool user = info.value(kUser).toBool();
    const bool cr = info.value(kCrashReport).toBool();
    const QByteArray body = std::exchange(_connectionData, QByteArray());
    if (hasError || body.isEmpty()) {
        KZLOG_ERROR_M(QStringLiteral("hasError==YES error:%1").arg(error));
        if (user)
            goToWebsiteAlert(kzText("Unable to Check for Update."),
                kzText("Please, check your network connection and try again."), kzText("Ok"));
        return;
    }
    const KZUpdateVersionFile file = KZUpdateVersionFile::parse(body);
    if (file.kind == KZUpdateVersionFile::Message) {
        if (file.code == 1) {
            alert(kzText("Information about %@", { displayName() }), file.message,
                { kzText("Go to %@ Website", { displayName() }) });
            if (_presenter)
                _presenter->openURL(KZ_WebSiteURL());
        }
        return;
    }
    if (file.kind == KZUpdateVersionFile::Malformed) {
        KZLOG_ERROR_M(QStringLiteral("lines==nil string:%1").arg(QString::fromUtf8(body.left(200))));
        if (user)
            goToWebsiteAlert(kzText("Unable to Check for Update."),
                kzText("Please, try later or visit %@ Website.", { displayName() }), kzText("Ok"));
        return;
    }
    KZUserDefaults::standardUserDefaults().setDate(QDateTime::currentDateTime(), kLastCheckUpToDate);
    if (file.build <= _build) {
        if (user && !cr)
            alert(kzText("You are up to date!"),
                kzText(
                    "%@ %@ is currently the newest version available.", { displayName(), KZFunctions::appVersion() }),
                { kzText("Ok") });
        return;
    }
    const QString offered
        = kzText("%@ is now in version %@ (%@).", { displayName(), file.displayVersion, QString::number(file.build) });
    if (!file.minimumSystem.isEmpty() && kzSystemIsOlderThan(kzKernelRelease(), file.minimumSystem)) {
        KZLOG_INFO_M(QStringLiteral("minimum system:%1 running:%2").arg(file.minimumSystem, kzKernelRelease()));
        if (user && !cr)
            alert(
                offered, kzText("This version requires at least Linux %@.", { file.minimumSystem }), { kzText("Ok") });
        return;
    }
    if (!user && file.displayVersion == KZUserDefaults::standardUserDefaults().stringForKey(kIgnoredVersion))
        return;
    const QVariantMap offer { { QStringLiteral("build"), QString::number(file.build) },
        { QStringLiteral("displayVersion"), file.displayVersion },
        { QStringLiteral("downloadLink"), file.downloadLink }, { QStringLiteral("sha256"), file.sha256 } };
    // Whether the package manager owns the install asks dpkg: off the GUI thread.
    const QString exe
        = (_prefix.isEmpty() ? KZUpdateInstaller::runningPrefix() : _prefix) + QStringLiteral("/bin/trovix");
    _pendingWork = true;
    auto *watcher = new QFutureWatcher<bool>(this);
    connect(watcher, &QFutureWatcher<bool>::finished, this, [this, watcher, offer] {
        watcher->deleteLater();
        _pendingWork = false;
        offerNewVersion(offer, watcher->result());
    });
    watcher->setFuture(QtConcurrent::run([exe] { return KZUpdateInstaller::isInstalledByPackageManager(exe); }));
}

void KZCheckForUpdates::offerNewVersion(const QVariantMap &offer, bool packageManaged)
{
    _connectionInfo = offer;
    _connectionInfo.insert(QStringLiteral("packageManaged"), packageManaged);
    KZUpdateWindowState state;
    state.windowTitle = kzText("%@ Update", { displayName() });
    state.newVersionTitle = kzText("A new version of %@ is avalaible!", { displayName() });
    state.newVersionMessage = kzText("%@ is now in version %@ (%@).",
        { displayName(), offer.value(QStringLiteral("displayVersion")).toString(),
            offer.value(QStringLiteral("build")).toString() });
    state.newVersionButton = kzText("Install Update");
    if (packageManaged) {
        state.newVersionMessage
            += QLatin1Char('\n') + kzText("Trovix was installed by your package manager; update it there.");
        state.newVersionButton = kzText("Go to %@ Website", { displayName() });
    }
    state.newVersionVisible = true;
    if (_presenter)
        _presenter->activateApplication();
    setWindowState(state);
}

void KZCheckForUpdates::newVersionDismissed()
{
    KZUpdateWindowState state = _state;
    state.newVersionVisible = false;
    setWindowState(state);
}

void KZCheckForUpdates::newVersionAction()
{
    if (!isIdle() || !_state.newVersionVisible)
        return;
    const QVariantMap offer = _connectionInfo;
    KZUpdateWindowState state = _state;
    state.newVersionVisible = false;
    if (offer.value(QStringLiteral("packageManaged")).toBool()) {
        setWindowState(state);
        if (_presenter)
            _presenter->openURL(KZ_WebSiteURL());
        return;
    }
    state.updatingVisible = true;
    state.updatingTitle = kzText("Downloading update…");
    state.relaunchEnabled = false;
    state.barIndeterminate = true;
    state.barMaximum = state.barValue = 0;
    state.barLabel.clear();
    setWindowState(state);
    _connectionAction = Downloading;
    _connectionInfo = offer;
    startRequest(QUrl(offer.value(QStringLiteral("downloadLink")).toString()));
}

void KZCheckForUpdates::downloadDidEndWithError(bool hasError, const QString &error, const QByteArray &sha256)
{
    const QByteArray data = std::exchange(_connectionData, QByteArray());
    KZUpdateWindowState state = _state;
    if (hasError) {
        KZLOG_ERROR_M(QStringLiteral("hasError==YES error:%1").arg(error));
        state.updatingVisible = false;
        setWindowState(state);
        goToWebsiteAlert(kzText("Unable to download update."),
            kzText("Please, download %@ from the Web.", { displayName() }), kzText("Ok"));
        return;
    }
    state.updatingTitle = kzText("Installing update…");
    state.barIndeterminate = true;
    state.barLabel.clear();
    setWindowState(state);
    const QString prefix = _prefix.isEmpty() ? KZUpdateInstaller::runningPrefix() : _prefix;
    _pendingWork = true;
    auto *watcher = new QFutureWatcher<InstallOutcome>(this);
    connect(watcher, &QFutureWatcher<InstallOutcome>::finished, this, [this, watcher] {
        watcher->deleteLater();
        _pendingWork = false;
        const InstallOutcome outcome = watcher->result();
        installDidEnd(outcome.ok, outcome.reason, outcome.quit);
    });
    watcher->setFuture(QtConcurrent::run(installUpdateWithData, data, sha256, prefix));
}

void KZCheckForUpdates::installDidEnd(bool ok, const QString &reason, bool quit)
{
    KZUpdateWindowState state = _state;
    if (!ok) {
        KZLOG_ERROR_M(QStringLiteral("installUpdateWithData==NO reason:%1").arg(reason));
        state.updatingVisible = false;
        setWindowState(state);
        QString message = reason.isEmpty() ? kzText("Unknown reason") : reason;
        if (!message.endsWith(QLatin1Char('.')))
            message += QLatin1Char('.');
        if (quit)
            message += QLatin1Char(' ') + kzText("Please, download %@ again from its Web site.", { displayName() });
        goToWebsiteAlert(kzText("Updating Failed"), message, quit ? kzText("Quit") : kzText("Ok"));
        if (quit)
            QCoreApplication::quit();
        return;
    }
    KZNotificationCenter::defaultCenter()->post(KZCheckForUpdatesDidInstallUpdateNotification, nullptr);
    state.updatingTitle = kzText("Waiting relaunch…");
    state.relaunchEnabled = true;
    state.barIndeterminate = false;
    state.barValue = state.barMaximum;
    if (_presenter)
        _presenter->activateApplication();
    setWindowState(state);
}

void KZCheckForUpdates::updatingAction()
{
    if (!_state.relaunchEnabled)
        return;
    Q_EMIT willRelaunch();
    const QString program
        = (_prefix.isEmpty() ? KZUpdateInstaller::runningPrefix() : _prefix) + QStringLiteral("/bin/trovix");
    // One Trovix per session: the new one would hand itself over to this one
    // while it still runs, so it is started once this process has gone.
    const QString script = QStringLiteral("while kill -0 %1 2>/dev/null; do sleep 0.2; done; exec \"$0\"")
                               .arg(QCoreApplication::applicationPid());
    if (!QProcess::startDetached(QStringLiteral("/bin/sh"), { QStringLiteral("-c"), script, program }))
        KZLOG_ERROR_M(QStringLiteral("runningApplication==nil appURL:%1 error:startDetached").arg(program));
    QCoreApplication::quit();
}

void KZCheckForUpdates::setWindowState(const KZUpdateWindowState &state)
{
    _state = state;
    if (_presenter)
        _presenter->windowStateChanged(_state);
}

int KZCheckForUpdates::alert(const QString &title, const QString &message, const QStringList &buttons)
{
    if (!_presenter)
        return -1;
    _presenter->activateApplication();
    return _presenter->runAlert({ title, message, buttons });
}

void KZCheckForUpdates::goToWebsiteAlert(const QString &title, const QString &message, const QString &second)
{
    if (alert(title, message, { kzText("Go to %@ Website", { displayName() }), second }) == 0 && _presenter)
        _presenter->openURL(KZ_WebSiteURL());
}
