#include "toolkit/KZCriticalAlert.h"

#include <QDesktopServices>
#include <QMessageBox>
#include <QPushButton>

#include "support/KZFunctions.h"
#include "support/KZLocalization.h"
#include "support/KZLog.h"

std::function<void(int)> &KZCriticalAlert::crashReportHandler()
{
    static std::function<void(int)> handler;
    return handler;
}

void KZCriticalAlert::setCrashReportHandler(std::function<void(int mode)> handler)
{
    crashReportHandler() = std::move(handler);
}

void KZCriticalAlert::install()
{
    KZLog::setCriticalPresenter([](const QString &message) { mt_showCritialException(message); });
}

QString KZCriticalAlert::titleText()
{
    return KZStringWithFormat(KZLocalizedString("An critical error occurred with %@.\nPlease, contact Support."),
                              {KZFunctions::appName()});
}

void KZCriticalAlert::mt_showCritialException(const QString &message)
{
    QMessageBox box;
    box.setObjectName(QStringLiteral("KZCriticalAlert"));
    box.setIcon(QMessageBox::Critical);
    box.setText(titleText());
    box.setInformativeText(message);
    QPushButton *send = box.addButton(KZLocalizedString("Send Crash Report"), QMessageBox::AcceptRole);
    QPushButton *support = box.addButton(KZLocalizedString("Contact Support"), QMessageBox::ActionRole);
    QPushButton *ok = box.addButton(QStringLiteral("Ok"), QMessageBox::RejectRole);
    box.setDefaultButton(ok);
    box.exec();
    if (box.clickedButton() == send) {
        // The crash reporter registers its presenter when it is part of the
        // application; without it the button does nothing more.
        if (crashReportHandler())
            crashReportHandler()(2);
    } else if (box.clickedButton() == support) {
        QDesktopServices::openUrl(KZ_WebSiteURL(QStringLiteral("?page=support")));
    }
}
