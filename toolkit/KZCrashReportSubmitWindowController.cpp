#include "toolkit/KZCrashReportSubmitWindowController.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

#include "crashreport/KZCrashReporter.h"
#include "support/KZFunctions.h"
#include "support/KZLocalization.h"
#include "support/KZLog.h"
#include "toolkit/KZCriticalAlert.h"

namespace {

QPointer<KZCrashReportSubmitWindowController> g_current;

QString uiText(const char *key)
{
    return KZLocalizedString(key, KZCrashReporterTable);
}

const QString kAppName = QStringLiteral("Trovix");

} // namespace

KZCrashReportSubmitWindowController::KZCrashReportSubmitWindowController(QWidget *parent)
    : QWidget(parent, Qt::Window), m_report(new KZCrashReport(this, this))
{
    setObjectName(QStringLiteral("KZCrashReportSubmitWindow"));
    setAttribute(Qt::WA_DeleteOnClose, false);
    setWindowTitle(KZStringWithFormat(uiText("Problem Report for %@"), {kAppName}));

    auto *headline = new QLabel(KZStringWithFormat(uiText("%@ has a bug?"), {kAppName}));
    QFont bold = headline->font();
    bold.setBold(true);
    bold.setPointSizeF(bold.pointSizeF() * 1.2);
    headline->setFont(bold);
    auto *description = new QLabel(
        uiText("Please, submit report to Velloran Support.\nThe content of this report can help developer to fix the issue."));
    description->setWordWrap(true);

    m_indicator = new QProgressBar;
    m_indicator->setObjectName(QStringLiteral("indicator"));
    m_indicator->setRange(0, 1);
    m_indicator->setTextVisible(false);
    m_indicator->setMaximumWidth(120);
    m_statusLabel = new QLabel;
    m_statusLabel->setObjectName(QStringLiteral("statusLabel"));
    m_revealButton = new QPushButton(uiText("Show Report"));
    m_revealButton->setObjectName(QStringLiteral("revealButton"));
    m_submitButton = new QPushButton(uiText("Submit"));
    m_submitButton->setObjectName(QStringLiteral("submitButton"));
    m_submitButton->setProperty("tag", 0);
    m_revealButton->setEnabled(false);
    m_submitButton->setEnabled(false);
    m_submitButton->setDefault(true);
    connect(m_revealButton, &QPushButton::clicked, this, &KZCrashReportSubmitWindowController::revealCollectFolder);
    connect(m_submitButton, &QPushButton::clicked, this, &KZCrashReportSubmitWindowController::submitOrCancel);

    auto *status = new QHBoxLayout;
    status->addWidget(m_indicator);
    status->addWidget(m_statusLabel, 1);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_revealButton);
    buttons->addStretch(1);
    buttons->addWidget(m_submitButton);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(headline);
    layout->addWidget(description);
    layout->addSpacing(8);
    layout->addLayout(status);
    layout->addLayout(buttons);
    resize(460, sizeHint().height());
}

KZCrashReportSubmitWindowController::~KZCrashReportSubmitWindowController()
{
    m_report->cancelAll();
    m_report->cleanDir();
}

void KZCrashReportSubmitWindowController::install()
{
    KZCrashReporter::sharedInstance().setPresenter([](int) {
        if (!g_current)
            g_current = new KZCrashReportSubmitWindowController;
        g_current->setAttribute(Qt::WA_DeleteOnClose, true);
        g_current->show();
        g_current->raise();
        g_current->activateWindow();
    });
    // The critical-error alert's "Send Crash Report" opens the same window.
    KZCriticalAlert::setCrashReportHandler(
        [](int mode) { KZCrashReporter::sharedInstance().presentToUserWithMode(mode); });
}

KZCrashReportSubmitWindowController *KZCrashReportSubmitWindowController::current()
{
    return g_current;
}

void KZCrashReportSubmitWindowController::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (!m_started) {
        m_started = true;
        m_report->startCollect();
    }
}

void KZCrashReportSubmitWindowController::closeEvent(QCloseEvent *event)
{
    if (m_report->isSubmitting()) {
        event->ignore();
        return;
    }
    m_report->cancelAll();
    if (!m_report->cleanDir())
        KZLOG_ERROR_M(QStringLiteral("cleanDir==NO"));
    m_started = false;
    event->accept();
}

void KZCrashReportSubmitWindowController::crashReportCollectingProgress(const QVariantMap &progress)
{
    if (progress.value(QStringLiteral("progression")).toInt() == 1) {
        m_indicator->setRange(0, 0);
        const QString message = progress.value(QStringLiteral("message")).toString();
        m_statusLabel->setText(message.isEmpty() ? uiText("Collecting…")
                                                 : KZStringWithFormat(uiText("Collecting %@…"), {message}));
        return;
    }
    m_indicator->setRange(0, 1);
    m_statusLabel->clear();
    const bool collected = !m_report->collectDirPath().isEmpty() && QFileInfo(m_report->collectDirPath()).isDir();
    m_revealButton->setEnabled(collected);
    m_submitButton->setEnabled(collected);
}

void KZCrashReportSubmitWindowController::crashReportSubmittingProgress(const QVariantMap &progress)
{
    const int progression = progress.value(QStringLiteral("progression")).toInt();
    switch (progression) {
    case 1:
        m_indicator->setRange(0, 0);
        m_statusLabel->setText(uiText("Preparing Data…"));
        m_submitButton->setText(uiText("Cancel"));
        m_submitButton->setProperty("tag", 1);
        break;
    case 2:
        m_statusLabel->setText(KZStringWithFormat(
            uiText("Sending... (%@)"),
            {KZFunctions::stringFromBytesWithBin1024Style(progress.value(QStringLiteral("dataSize")).toLongLong())}));
        break;
    default:
        m_indicator->setRange(0, 1);
        m_submitButton->setText(uiText("Submit"));
        m_submitButton->setProperty("tag", 0);
        if (progression == 3) {
            m_indicator->setValue(1);
            m_statusLabel->setText(uiText("Sent Successfully."));
            m_submitButton->setEnabled(false);
        } else {
            const QString error = progress.value(QStringLiteral("error")).toString();
            m_statusLabel->setText(error.isEmpty() ? uiText("Submit Failed.") : error);
        }
        break;
    }
}

void KZCrashReportSubmitWindowController::revealCollectFolder()
{
    const QString folder = m_report->collectDirPath();
    if (folder.isEmpty())
        return;
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(folder)))
        KZLOG_WARNING_M(QStringLiteral("openUrl==NO path:%1").arg(folder));
}

void KZCrashReportSubmitWindowController::submitOrCancel()
{
    if (m_submitButton->property("tag").toInt() == 0) {
        m_report->startSubmit();
        return;
    }
    m_report->cancelAll();
    crashReportSubmittingProgress({{QStringLiteral("progression"), -1}, {QStringLiteral("error"), uiText("Submit Failed.")}});
}
