// The critical-error alert: title, the message, and the buttons "Send Crash
// Report", "Contact Support" and "Ok". GUI thread.
#pragma once

#include <QString>
#include <functional>

class KZCriticalAlert
{
public:
    // Makes KZLog::showCritialException show this alert.
    static void install();
    // Builds and runs the alert (the design's mt_showCritialException:).
    static void mt_showCritialException(const QString &message);
    // The alert's title for the running executable.
    static QString titleText();
    // The crash reporter's presentToUserWithMode:, called with mode 2 by the
    // "Send Crash Report" button.
    static void setCrashReportHandler(std::function<void(int mode)> handler);

private:
    static std::function<void(int)> &crashReportHandler();
};
