// One Trovix per desktop session. The first process owns the session-bus name
// "org.trovix.Trovix" and answers the freedesktop application interface
// (Activate, Open, ActivateAction) at "/org/trovix/Trovix"; a later `trovix`
// hands its command line to it and exits. Without a session bus, or when the
// running one does not answer in time, a process runs alone.
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariantList>
#include <QVariantMap>

// What a `trovix` command line asks for.
struct AppLaunchRequest {
    enum Kind {
        Show,       // no argument: the windows
        Open,       // PATH: a search window scoped at the folder
        Toggle,     // --toggle: what the global hot key does
        Background, // --background: start without windows
        NewWindow,  // --new-window: one more search window
    };
    Kind kind = Show;
    QString path; // absolute, for Open

    // Parses the arguments (program name first). A bad command line answers
    // false with a message for the user; --help and --version answer false
    // with the text to print and an empty error.
    static bool fromArguments(const QStringList &arguments, AppLaunchRequest *request, QString *output,
                              QString *error);
};

class AppInstance : public QObject
{
    Q_OBJECT
public:
    static constexpr const char *kServiceName = "org.trovix.Trovix";
    static constexpr const char *kObjectPath = "/org/trovix/Trovix";
    static constexpr const char *kInterface = "org.freedesktop.Application";
    // How long a second process waits for the running one's answer.
    static constexpr int kHandOverTimeout = 3000;

    enum Role {
        Alone,      // no bus, or a running instance that did not answer
        Primary,    // owns the bus name; requests arrive as signals
        HandedOver, // the running instance took the request: exit
    };

    explicit AppInstance(QObject *parent = nullptr);
    ~AppInstance() override;

    // Owns the name, or hands the request to its owner (blocking for at most
    // timeoutMs: the caller has no window yet).
    Role start(const AppLaunchRequest &request, int timeoutMs = kHandOverTimeout);
    Role role() const { return m_role; }

Q_SIGNALS:
    // Emitted on the GUI thread once the bus call has been answered.
    void activateRequested(const QVariantMap &platformData);
    void openRequested(const QString &path);
    void toggleRequested();
    void newWindowRequested();

private:
    friend class AppInstanceAdaptor;
    bool handOver(const AppLaunchRequest &request, int timeoutMs);

    Role m_role = Alone;
    bool m_registeredObject = false;
};
