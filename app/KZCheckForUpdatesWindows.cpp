#include "app/KZCheckForUpdatesWindows.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QIcon>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>

namespace
{

QLabel *iconLabel()
{
    auto *icon = new QLabel;
    icon->setPixmap(QApplication::windowIcon().pixmap(64, 64));
    icon->setAlignment(Qt::AlignTop | Qt::AlignHCenter);
    icon->setFixedWidth(80);
    return icon;
}

QLabel *titleLabel()
{
    auto *title = new QLabel;
    QFont font = title->font();
    font.setBold(true);
    font.setPointSizeF(font.pointSizeF() * 1.15);
    title->setFont(font);
    title->setWordWrap(true);
    return title;
}

} // namespace

KZCheckForUpdatesWindows::KZCheckForUpdatesWindows(KZCheckForUpdates *checker, QObject *parent)
    : QObject(parent)
    , _checker(checker)
{
    _checker->setPresenter(this);
}

KZCheckForUpdatesWindows::~KZCheckForUpdatesWindows()
{
    _checker->setPresenter(nullptr);
    delete _newVersionWindow;
    delete _updatingWindow;
}

KZCheckForUpdatesWindows *KZCheckForUpdatesWindows::install()
{
    static KZCheckForUpdatesWindows *windows
        = new KZCheckForUpdatesWindows(KZCheckForUpdates::sharedInstance(), QCoreApplication::instance());
    return windows;
}

void KZCheckForUpdatesWindows::unsureWindowsAreLoaded()
{
    if (_newVersionWindow)
        return;
    _newVersionWindow = new QDialog;
    _newVersionWindow->setWindowModality(Qt::ApplicationModal);
    auto *grid = new QGridLayout(_newVersionWindow);
    grid->addWidget(iconLabel(), 0, 0, 3, 1);
    grid->addWidget(_newVersionTitle = titleLabel(), 0, 1);
    grid->addWidget(_newVersionMessage = new QLabel, 1, 1);
    _newVersionMessage->setWordWrap(true);
    auto *buttons = new QDialogButtonBox;
    _newVersionInstallNow = buttons->addButton(QString(), QDialogButtonBox::AcceptRole);
    _newVersionInstallNow->setDefault(true);
    buttons->addButton(QDialogButtonBox::Cancel);
    grid->addWidget(buttons, 2, 1);
    grid->setColumnMinimumWidth(1, 320);
    connect(buttons, &QDialogButtonBox::accepted, this, [this] { _checker->newVersionAction(); });
    connect(buttons, &QDialogButtonBox::rejected, _newVersionWindow, &QDialog::reject);
    connect(_newVersionWindow, &QDialog::rejected, this, [this] {
        if (!_applying)
            _checker->newVersionDismissed();
    });

    _updatingWindow = new QDialog;
    _updatingWindow->setWindowModality(Qt::ApplicationModal);
    // The window stays until the relaunch: an install is never left half-way.
    _updatingWindow->setWindowFlag(Qt::WindowCloseButtonHint, false);
    auto *ugrid = new QGridLayout(_updatingWindow);
    ugrid->addWidget(iconLabel(), 0, 0, 4, 1);
    ugrid->addWidget(_updatingTitle = titleLabel(), 0, 1);
    ugrid->addWidget(_updatingBar = new QProgressBar, 1, 1);
    _updatingBar->setTextVisible(false);
    ugrid->addWidget(_updatingBarLabel = new QLabel, 2, 1);
    _updatingRelaunch = new QPushButton(QCoreApplication::translate("KZCheckForUpdates", "Relaunch"));
    ugrid->addWidget(_updatingRelaunch, 3, 1, Qt::AlignRight);
    ugrid->setColumnMinimumWidth(1, 320);
    connect(_updatingRelaunch, &QPushButton::clicked, this, [this] { _checker->updatingAction(); });
    // Escape must not hide a download or an install under way.
    connect(_updatingWindow, &QDialog::rejected, this, [this] {
        if (_checker->windowState().updatingVisible && !_applying)
            _updatingWindow->show();
    });
}

QDialog *KZCheckForUpdatesWindows::newVersionWindow()
{
    unsureWindowsAreLoaded();
    return _newVersionWindow;
}

QDialog *KZCheckForUpdatesWindows::updatingWindow()
{
    unsureWindowsAreLoaded();
    return _updatingWindow;
}

int KZCheckForUpdatesWindows::runAlert(const KZUpdateAlert &alert)
{
    QMessageBox box(QMessageBox::Information, alert.title, alert.title);
    box.setInformativeText(alert.message);
    box.setIconPixmap(QApplication::windowIcon().pixmap(64, 64));
    QList<QAbstractButton *> buttons;
    for (const QString &title : alert.buttons)
        if (!title.isEmpty())
            buttons.append(box.addButton(title, buttons.isEmpty() ? QMessageBox::AcceptRole : QMessageBox::RejectRole));
    box.exec();
    return static_cast<int>(buttons.indexOf(box.clickedButton()));
}

void KZCheckForUpdatesWindows::windowStateChanged(const KZUpdateWindowState &state)
{
    unsureWindowsAreLoaded();
    _applying = true;
    _newVersionWindow->setWindowTitle(state.windowTitle);
    _newVersionTitle->setText(state.newVersionTitle);
    _newVersionMessage->setText(state.newVersionMessage);
    _newVersionInstallNow->setText(state.newVersionButton);
    if (state.newVersionVisible && !_newVersionWindow->isVisible())
        _newVersionWindow->show();
    else if (!state.newVersionVisible && _newVersionWindow->isVisible())
        _newVersionWindow->hide();

    _updatingWindow->setWindowTitle(state.windowTitle);
    _updatingTitle->setText(state.updatingTitle);
    _updatingBar->setRange(0, state.barIndeterminate ? 0 : 1000);
    if (!state.barIndeterminate)
        _updatingBar->setValue(
            state.barMaximum > 0 ? static_cast<int>(state.barValue * 1000 / state.barMaximum) : 1000);
    _updatingBarLabel->setText(state.barLabel);
    _updatingRelaunch->setEnabled(state.relaunchEnabled);
    if (state.updatingVisible && !_updatingWindow->isVisible())
        _updatingWindow->show();
    else if (!state.updatingVisible && _updatingWindow->isVisible())
        _updatingWindow->hide();
    _applying = false;
}

void KZCheckForUpdatesWindows::openURL(const QUrl &url)
{
    QDesktopServices::openUrl(url);
}

void KZCheckForUpdatesWindows::activateApplication()
{
    for (QDialog *window : { _newVersionWindow.data(), _updatingWindow.data() })
        if (window && window->isVisible()) {
            window->raise();
            window->activateWindow();
        }
}
