#include "toolkit/KZMASReviewReclamAlert.h"

#include <QApplication>
#include <QDesktopServices>
#include <QMessageBox>
#include <QPushButton>

#include "support/KZLocalization.h"

void KZMASReviewReclamAlert::install()
{
    KZMASReviewReclam::setAskUser(&KZMASReviewReclamAlert::runAlert);
    KZMASReviewReclam::setOpenURL([](const QUrl &url) { return QDesktopServices::openUrl(url); });
}

bool KZMASReviewReclamAlert::displayReclamIfNecessary(const QString &productId, int storeKind)
{
    install();
    return KZMASReviewReclam::displayReclamIfNecessaryProductId(productId, storeKind);
}

bool KZMASReviewReclamAlert::runAlert(const QString &title, const QString &message)
{
    QMessageBox box;
    box.setObjectName(QStringLiteral("KZMASReviewReclam"));
    box.setWindowTitle(title);
    box.setText(title);
    box.setInformativeText(message);
    const QIcon appIcon = QApplication::windowIcon();
    if (!appIcon.isNull())
        box.setIconPixmap(appIcon.pixmap(64, 64));
    else
        box.setIcon(QMessageBox::Information);
    QPushButton *rate = box.addButton(KZLocalizedString("Rate It Now", KZMASReviewReclamTable), QMessageBox::AcceptRole);
    QPushButton *later =
        box.addButton(KZLocalizedString("Remind Me Later", KZMASReviewReclamTable), QMessageBox::RejectRole);
    box.setDefaultButton(rate);
    box.setEscapeButton(later);
    // The reminder comes at launch, perhaps behind another program: to the front.
    box.show();
    box.raise();
    box.activateWindow();
    box.exec();
    return box.clickedButton() == rate;
}
