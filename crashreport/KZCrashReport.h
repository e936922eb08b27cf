// Collects the diagnostic material of a problem report into a folder, zips it
// and uploads it to the maker's crash-report page. Collection and zipping run
// on a private one-thread pool; progress, the request and its answer happen
// on the GUI thread. Owned by the report window, which is its delegate.
//
// Progress dictionaries: "progression" 1 started or running, 2 collected or
// (submitting) uploading, 3 uploaded, -1 failed; "message" the current step;
// "dataSize" the zip's size; "error" the failure text.
#pragma once

#include <QDateTime>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QThreadPool>
#include <QUrl>
#include <QVariantMap>
#include <atomic>
#include <functional>
#include <memory>

class QNetworkAccessManager;
class QNetworkReply;

class KZCrashReportDelegate
{
public:
    virtual ~KZCrashReportDelegate() = default;
    virtual void crashReportCollectingProgress(const QVariantMap &progress) = 0;
    virtual void crashReportSubmittingProgress(const QVariantMap &progress) = 0;
};

class KZCrashReport : public QObject
{
    Q_OBJECT
public:
    explicit KZCrashReport(KZCrashReportDelegate *delegate, QObject *parent = nullptr);
    ~KZCrashReport() override;

    static QString jetonId();

    void startCollect();
    void startSubmit();
    void cancelAll();
    // Removes the working folder; false (logged) when it stays.
    bool cleanDir();
    bool isSubmitting() const { return m_submitting; }

    QString dirPath() const { return m_dirPath; }
    QString collectDirPath() const { return m_collectDirPath; }
    QDateTime collectDate() const { return m_collectDate; }
    QString zipPath() const { return m_zipPath; }

    // The application's extra lines for the environment profile.
    static void setExternalInfosProvider(std::function<QStringList()> provider);

    // The steps, callable on their own (tests). Copies Trovix's crash files and
    // the system's core dump record into inDir/"CrashReports-<kind>": -1 for
    // missing arguments, -2 no reports folder, -3 unreadable, -4 unlistable, else 1.
    static int collectCrashReportsKind(const QString &kind, const QString &inDir, const QString &fromReportsDir);
    static bool collectAslInDirectory(const QString &dir, const QString &sender);
    // appLines: "Version: …" to "FirstLaunch: …", read on the GUI thread.
    static QString collectEnvProfile(const QStringList &appLines, const QStringList &appExtInfo);
    // Zips folder (its name at the top of every entry) into zipPath with libarchive.
    static bool zipFolder(const QString &folder, const QString &zipPath, QString *error);
    // https, or http to a loopback address only.
    static bool isAllowedUploadURL(const QUrl &url);
    static QUrl submitURL(const QString &zipFileName);

private:
    struct Shared;
    static void performCollect(const std::shared_ptr<Shared> &shared, const QString &dirPath,
                               const QString &collectDir, const QStringList &appLines, const QStringList &extLines);
    void mt_collectDidProgress(const QVariantMap &progress);
    void mt_collectingEnd();
    void mt_submittingEnd(const QString &zipPath, const QByteArray &body, const QString &error);
    void finishReply();

    KZCrashReportDelegate *m_delegate;
    std::shared_ptr<Shared> m_shared;
    QNetworkAccessManager *m_network = nullptr;
    QPointer<QNetworkReply> m_reply;
    bool m_submitting = false;
    QString m_dirPath, m_collectDirPath, m_zipPath;
    QDateTime m_collectDate;
};
