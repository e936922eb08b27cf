// The problem-report window: collects the report as it opens, lets the user
// look at the collected folder before anything is sent, sends it, and throws
// the working folder away when closed. It refuses to close while sending.
#pragma once

#include <QWidget>

#include "crashreport/KZCrashReport.h"

class QLabel;
class QProgressBar;
class QPushButton;

class KZCrashReportSubmitWindowController : public QWidget, public KZCrashReportDelegate
{
    Q_OBJECT
public:
    explicit KZCrashReportSubmitWindowController(QWidget *parent = nullptr);
    ~KZCrashReportSubmitWindowController() override;

    // Makes KZCrashReporter::presentToUserWithMode and the critical-error
    // alert's report button open this window (one at a time).
    static void install();
    // The open window, or null.
    static KZCrashReportSubmitWindowController *current();

    void crashReportCollectingProgress(const QVariantMap &progress) override;
    void crashReportSubmittingProgress(const QVariantMap &progress) override;

    KZCrashReport *report() const { return m_report; }

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void revealCollectFolder();
    void submitOrCancel();

    KZCrashReport *m_report;
    QLabel *m_statusLabel;
    QProgressBar *m_indicator;
    QPushButton *m_revealButton;
    QPushButton *m_submitButton;
    bool m_started = false;
};
