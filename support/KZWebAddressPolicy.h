// Where Trovix talks to the maker's site (updates, crash reports, the usage
// record): HTTPS, or plain HTTP to this machine only (the tests' servers).
// Header only, for the libraries that link Qt Network.
#pragma once

#include <QHostAddress>
#include <QUrl>

inline bool kzIsAllowedWebURL(const QUrl &url)
{
    if (url.scheme() == QLatin1String("https"))
        return !url.host().isEmpty();
    if (url.scheme() != QLatin1String("http"))
        return false;
    const QString host = url.host();
    return host == QLatin1String("localhost") || QHostAddress(host).isLoopback();
}
