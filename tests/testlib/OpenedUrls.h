// Catches what would go to the desktop's default handler for a URL scheme, for
// as long as it lives (QDesktopServices::openUrl of "file:" URLs by default).
#pragma once

#include <QDesktopServices>
#include <QList>
#include <QObject>
#include <QUrl>

namespace kztest {

class OpenedUrls : public QObject
{
    Q_OBJECT
public:
    explicit OpenedUrls(const QString &scheme = QStringLiteral("file")) : m_scheme(scheme)
    {
        QDesktopServices::setUrlHandler(m_scheme, this, "open");
    }
    ~OpenedUrls() override { QDesktopServices::unsetUrlHandler(m_scheme); }

    QList<QUrl> urls;

public Q_SLOTS:
    void open(const QUrl &url) { urls.append(url); }

private:
    QString m_scheme;
};

} // namespace kztest
