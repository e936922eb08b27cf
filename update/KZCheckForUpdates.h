// Asks the maker's web site whether a newer Trovix exists, tells the user,
// downloads the new version's zip archive, installs it over the files this
// install put into its prefix and relaunches. The process-wide singleton lives
// on the GUI thread; the disk work of an install runs on a worker. Windows and
// alerts are drawn by a presenter the application installs (app/
// KZCheckForUpdatesWindows); this class decides what they show.
// The update archive holds the prefix layout at its root (bin/trovix, ...,
// share/trovix/installed-files), as `cmake --install --prefix DIR` writes it.
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QFutureWatcher>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QUrl>
#include <QVariantMap>

class QNetworkAccessManager;
class QNetworkReply;

struct KZUpdateAlert {
    QString title;
    QString message;
    QStringList buttons;
};

// What the two windows show. Kept whole: the presenter redraws from it.
struct KZUpdateWindowState {
    bool newVersionVisible = false;
    QString windowTitle; // "%@ Update", both windows
    QString newVersionTitle; // "A new version of %@ is avalaible!"
    QString newVersionMessage; // "%@ is now in version %@ (%@)." (and why it cannot install)
    QString newVersionButton; // "Install Update", or "Go to %@ Website" for a package-manager install

    bool updatingVisible = false;
    QString updatingTitle; // "Downloading update…", "Installing update…", "Waiting relaunch…"
    bool barIndeterminate = true;
    qint64 barMaximum = 0;
    qint64 barValue = 0;
    QString barLabel; // "%@ of %@"
    bool relaunchEnabled = false;
};

class KZCheckForUpdatesPresenter
{
public:
    virtual ~KZCheckForUpdatesPresenter() = default;
    // Runs the alert modally; the index of the button pressed.
    virtual int runAlert(const KZUpdateAlert &alert) = 0;
    virtual void windowStateChanged(const KZUpdateWindowState &state) = 0;
    virtual void openURL(const QUrl &url) = 0;
    virtual void activateApplication() = 0;
};

class KZCheckForUpdates : public QObject
{
    Q_OBJECT
public:
    enum ConnectionAction { Idle = 0, Checking = 1, Downloading = 2 };

    static KZCheckForUpdates *sharedInstance();
    explicit KZCheckForUpdates(QObject *parent = nullptr);
    ~KZCheckForUpdates() override;

    // The running build and the version file's address (the web site's base
    // address with "trovix.version"); removes "KZCheckForUpdates-cBuild".
    void setAppBuild(qint64 build, const QUrl &infoURL);
    qint64 appBuild() const;
    QDateTime lastCheck() const;
    void setPresenter(KZCheckForUpdatesPresenter *presenter);
    // Where the running Trovix was installed (default: the running executable's
    // prefix); the update replaces the listed files there and relaunches
    // <prefix>/bin/trovix.
    void setInstallPrefix(const QString &prefix);

    // The entry points; each does nothing unless idle.
    void synchronizeAtLaunch(); // silent
    void synchronizeIfNecessary(); // silent, when the last check is missing or older than an hour
    void synchronizeByUser(); // Help > "Check For Update…" and the preferences' button
    void synchronizeFromCrashReport();

    // Button actions of the windows.
    void newVersionAction(); // "Install Update"
    void newVersionDismissed(); // the new-version window was closed
    void updatingAction(); // relaunch

    int connectionAction() const;
    // Idle and no install or package check under way.
    bool isIdle() const;
    const KZUpdateWindowState &windowState() const;
    // Only HTTPS, and plain HTTP to a loopback address.
    static bool isAllowedURL(const QUrl &url);

Q_SIGNALS:
    // Before the relaunch quits the application (its delegate's last words).
    void willRelaunch();

private:
    void performSynchronizing(const QVariantMap &info);
    void startRequest(const QUrl &url);
    void responseReceived();
    void dataReceived();
    void requestFinished();
    void endRequest(bool failed, const QString &error);
    void checkDidEndWithError(bool hasError, const QString &error, const QVariantMap &info);
    void offerNewVersion(const QVariantMap &offer, bool packageManaged);
    void downloadDidEndWithError(bool hasError, const QString &error, const QByteArray &sha256);
    void installDidEnd(bool ok, const QString &reason, bool quit);
    void setWindowState(const KZUpdateWindowState &state);
    int alert(const QString &title, const QString &message, const QStringList &buttons);
    void goToWebsiteAlert(const QString &title, const QString &message, const QString &second = QString());

    qint64 _build = 0;
    QUrl _infoURL;
    int _connectionAction = Idle;
    QVariantMap _connectionInfo;
    QPointer<QNetworkReply> _connection;
    QByteArray _connectionData;
    bool _dataValid = false;
    qint64 _expectedLength = -1;
    bool _pendingWork = false;
    QString _prefix;
    QNetworkAccessManager *_network = nullptr;
    KZCheckForUpdatesPresenter *_presenter = nullptr;
    KZUpdateWindowState _state;
};
