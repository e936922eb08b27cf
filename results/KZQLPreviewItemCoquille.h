// The item a preview is asked for: one file URL. No item without a URL.
#pragma once

#include <QString>
#include <QUrl>
#include <optional>

class KZQLPreviewItemCoquille
{
public:
    static std::optional<KZQLPreviewItemCoquille> initWithPreviewItemURL(const QUrl &url)
    {
        if (url.isEmpty())
            return std::nullopt;
        return KZQLPreviewItemCoquille(url);
    }
    static std::optional<KZQLPreviewItemCoquille> initWithPreviewItemPath(const QString &path)
    {
        if (path.isEmpty())
            return std::nullopt;
        return KZQLPreviewItemCoquille(QUrl::fromLocalFile(path));
    }
    QUrl previewItemURL() const { return m_url; }

private:
    explicit KZQLPreviewItemCoquille(const QUrl &url) : m_url(url) {}
    QUrl m_url;
};
