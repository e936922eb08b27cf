// The update checker's windows and alerts: the new-version window (icon,
// title, message, "Install Update"), the updating window (icon, title,
// progress bar, its label, the relaunch button) and the alerts, drawn from the
// state KZCheckForUpdates hands over. Install it once on the shared checker:
//   KZCheckForUpdatesWindows::install();
// The application's menus call KZCheckForUpdates::sharedInstance()->
// synchronizeByUser(); the launch calls synchronizeAtLaunch().
#pragma once

#include <QDialog>
#include <QPointer>

#include "update/KZCheckForUpdates.h"

class QLabel;
class QProgressBar;
class QPushButton;

class KZCheckForUpdatesWindows : public QObject, public KZCheckForUpdatesPresenter
{
    Q_OBJECT
public:
    explicit KZCheckForUpdatesWindows(KZCheckForUpdates *checker, QObject *parent = nullptr);
    ~KZCheckForUpdatesWindows() override;
    // The presenter of the shared checker, owned by the application object.
    static KZCheckForUpdatesWindows *install();

    int runAlert(const KZUpdateAlert &alert) override;
    void windowStateChanged(const KZUpdateWindowState &state) override;
    void openURL(const QUrl &url) override;
    void activateApplication() override;

    // The windows (loaded on first need), for tests and screenshots.
    QDialog *newVersionWindow();
    QDialog *updatingWindow();

private:
    void unsureWindowsAreLoaded();

    KZCheckForUpdates *_checker;
    QPointer<QDialog> _newVersionWindow;
    QLabel *_newVersionTitle = nullptr;
    QLabel *_newVersionMessage = nullptr;
    QPushButton *_newVersionInstallNow = nullptr;
    QPointer<QDialog> _updatingWindow;
    QLabel *_updatingTitle = nullptr;
    QProgressBar *_updatingBar = nullptr;
    QLabel *_updatingBarLabel = nullptr;
    QPushButton *_updatingRelaunch = nullptr;
    bool _applying = false;
};
