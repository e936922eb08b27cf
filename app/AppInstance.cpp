#include "app/AppInstance.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusError>
#include <QDBusMessage>
#include <QFileInfo>
#include <QTimer>
#include <QUrl>

#include "support/KZLog.h"

bool AppLaunchRequest::fromArguments(const QStringList &arguments, AppLaunchRequest *request, QString *output,
                                     QString *error)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Finds files and folders without an index."));
    const QCommandLineOption toggle(QStringLiteral("toggle"),
                                    QStringLiteral("Show the search windows, or hide them when Trovix is active."));
    const QCommandLineOption background(QStringLiteral("background"), QStringLiteral("Start without a window."));
    const QCommandLineOption newWindow(QStringLiteral("new-window"), QStringLiteral("Open one more search window."));
    parser.addOption(toggle);
    parser.addOption(background);
    parser.addOption(newWindow);
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("PATH"), QStringLiteral("Open a search window on this folder."),
                                 QStringLiteral("[PATH]"));
    output->clear();
    error->clear();
    if (!parser.parse(arguments)) {
        *error = parser.errorText();
        return false;
    }
    if (parser.isSet(help) || parser.isSet(version)) {
        *output = parser.isSet(help) ? parser.helpText()
                                     : QCoreApplication::applicationName() + QLatin1Char(' ')
                                           + QCoreApplication::applicationVersion() + QLatin1Char('\n');
        return false;
    }
    const QStringList paths = parser.positionalArguments();
    if (paths.size() + int(parser.isSet(toggle)) + int(parser.isSet(background)) + int(parser.isSet(newWindow))
        > 1) {
        *error = QStringLiteral("Give one of PATH, --toggle, --background and --new-window.");
        return false;
    }
    *request = AppLaunchRequest();
    if (parser.isSet(toggle)) {
        request->kind = Toggle;
    } else if (parser.isSet(background)) {
        request->kind = Background;
    } else if (parser.isSet(newWindow)) {
        request->kind = NewWindow;
    } else if (!paths.isEmpty()) {
        // Launchers and file managers hand over "file://" addresses (Exec=trovix %U).
        const QUrl url(paths.first());
        const QString path = url.isLocalFile() ? url.toLocalFile() : paths.first();
        const QFileInfo info(path);
        if (url.scheme().size() > 1 && !url.isLocalFile()) {
            *error = QStringLiteral("%1: only local folders can be searched.").arg(paths.first());
            return false;
        }
        if (path.isEmpty() || !info.exists()) {
            *error = QStringLiteral("%1: no such file or folder.").arg(paths.first());
            return false;
        }
        request->kind = Open;
        request->path = info.absoluteFilePath();
    }
    return true;
}

// The bus side of the primary: answers at once and hands each request to the
// application on the next turn of the event loop, so a caller never waits on
// a window being built.
class AppInstanceAdaptor : public QDBusAbstractAdaptor
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Application")
public:
    explicit AppInstanceAdaptor(AppInstance *instance)
        : QDBusAbstractAdaptor(instance)
        , m_instance(instance)
    {
    }

public Q_SLOTS:
    void Activate(const QVariantMap &platformData)
    {
        later(platformData, [this, platformData] { Q_EMIT m_instance->activateRequested(platformData); });
    }
    void Open(const QStringList &uris, const QVariantMap &platformData)
    {
        QStringList paths;
        for (const QString &uri : uris) {
            const QUrl url(uri);
            if (url.isLocalFile())
                paths.append(url.toLocalFile());
            else
                KZLOG_WARNING_M(QStringLiteral("not a local file uri:%1").arg(uri));
        }
        later(platformData, [this, paths] {
            for (const QString &path : paths)
                Q_EMIT m_instance->openRequested(path);
        });
    }
    void ActivateAction(const QString &actionName, const QVariantList &, const QVariantMap &platformData)
    {
        if (actionName == QLatin1String("toggle"))
            later(platformData, [this] { Q_EMIT m_instance->toggleRequested(); });
        else if (actionName == QLatin1String("new-window"))
            later(platformData, [this] { Q_EMIT m_instance->newWindowRequested(); });
        else
            KZLOG_WARNING_M(QStringLiteral("unknown action:%1").arg(actionName));
    }

private:
    template <typename Fn>
    void later(const QVariantMap &platformData, Fn fn)
    {
        // On Wayland the caller's activation token lets our window take the focus.
        const QString token = platformData.value(QStringLiteral("activation-token")).toString();
        if (!token.isEmpty())
            qputenv("XDG_ACTIVATION_TOKEN", token.toUtf8());
        QTimer::singleShot(0, m_instance, fn);
    }

    AppInstance *m_instance;
};

AppInstance::AppInstance(QObject *parent)
    : QObject(parent)
{
    new AppInstanceAdaptor(this);
}

AppInstance::~AppInstance()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (m_role == Primary)
        bus.unregisterService(QString::fromLatin1(kServiceName));
    if (m_registeredObject)
        bus.unregisterObject(QString::fromLatin1(kObjectPath));
}

AppInstance::Role AppInstance::start(const AppLaunchRequest &request, int timeoutMs)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        KZLOG_INFO_M(QStringLiteral("no session bus: running alone (%1)").arg(bus.lastError().message()));
        return m_role = Alone;
    }
    // Even the bus daemon gets no more than the time box.
    bus.interface()->setTimeout(timeoutMs);
    // The object first: a request may arrive as soon as the name is ours.
    if (!m_registeredObject) {
        m_registeredObject = bus.registerObject(QString::fromLatin1(kObjectPath), this, QDBusConnection::ExportAdaptors);
        if (!m_registeredObject)
            KZLOG_WARNING_M(QStringLiteral("registerObject failed path:%1").arg(QString::fromLatin1(kObjectPath)));
    }
    if (m_registeredObject && bus.registerService(QString::fromLatin1(kServiceName)))
        return m_role = Primary;
    if (m_registeredObject) {
        bus.unregisterObject(QString::fromLatin1(kObjectPath));
        m_registeredObject = false;
    }
    if (handOver(request, timeoutMs))
        return m_role = HandedOver;
    return m_role = Alone;
}

bool AppInstance::handOver(const AppLaunchRequest &request, int timeoutMs)
{
    // Already running: a login start has nothing to add.
    if (request.kind == AppLaunchRequest::Background)
        return true;
    QVariantMap platformData;
    for (const auto &[key, variable] : {std::pair{"activation-token", "XDG_ACTIVATION_TOKEN"},
                                        std::pair{"desktop-startup-id", "DESKTOP_STARTUP_ID"}}) {
        if (qEnvironmentVariableIsSet(variable))
            platformData.insert(QString::fromLatin1(key), qEnvironmentVariable(variable));
    }
    auto call = [](const char *method) {
        return QDBusMessage::createMethodCall(QString::fromLatin1(kServiceName), QString::fromLatin1(kObjectPath),
                                              QString::fromLatin1(kInterface), QString::fromLatin1(method));
    };
    QDBusMessage message;
    switch (request.kind) {
    case AppLaunchRequest::Open:
        message = call("Open");
        message << QStringList{QUrl::fromLocalFile(request.path).toString(QUrl::FullyEncoded)} << platformData;
        break;
    case AppLaunchRequest::Toggle:
        message = call("ActivateAction");
        message << QStringLiteral("toggle") << QVariantList() << platformData;
        break;
    case AppLaunchRequest::NewWindow:
        message = call("ActivateAction");
        message << QStringLiteral("new-window") << QVariantList() << platformData;
        break;
    default:
        message = call("Activate");
        message << platformData;
        break;
    }
    const QDBusMessage reply = QDBusConnection::sessionBus().call(message, QDBus::Block, timeoutMs);
    if (reply.type() == QDBusMessage::ReplyMessage)
        return true;
    KZLOG_WARNING_M(QStringLiteral("running instance did not answer (%1: %2): running alone")
                        .arg(reply.errorName(), reply.errorMessage()));
    return false;
}

#include "AppInstance.moc"
