#include "platform/KZDesktopApps.h"

#include "platform/KZGio.h"

namespace kzplatform {

QList<KZDesktopApp> kzApplicationsForMimeType(const QString &mimeType)
{
    QList<KZDesktopApp> apps;
    if (mimeType.isEmpty())
        return apps;
    gchar *contentType = g_content_type_from_mime_type(mimeType.toUtf8().constData());
    GList *all = g_app_info_get_all_for_type(contentType ? contentType : mimeType.toUtf8().constData());
    g_free(contentType);
    for (GList *it = all; it; it = it->next) {
        GAppInfo *info = G_APP_INFO(it->data);
        KZDesktopApp app;
        app.id = QString::fromUtf8(g_app_info_get_id(info));
        app.name = QString::fromUtf8(g_app_info_get_display_name(info));
        if (GIcon *icon = g_app_info_get_icon(info)) {
            if (G_IS_THEMED_ICON(icon)) {
                const gchar *const *names = g_themed_icon_get_names(G_THEMED_ICON(icon));
                if (names && names[0])
                    app.iconName = QString::fromUtf8(names[0]);
            } else if (G_IS_FILE_ICON(icon)) {
                gchar *path = g_file_get_path(g_file_icon_get_file(G_FILE_ICON(icon)));
                app.iconName = QString::fromUtf8(path);
                g_free(path);
            }
        }
        if (!app.id.isEmpty())
            apps.append(app);
    }
    g_list_free_full(all, g_object_unref);
    return apps;
}

bool kzLaunchApplication(const QString &id, const QList<QUrl> &urls, QString *error)
{
    GDesktopAppInfo *info = g_desktop_app_info_new(id.toUtf8().constData());
    if (!info) {
        if (error)
            *error = QStringLiteral("no application with id %1").arg(id);
        return false;
    }
    QList<QByteArray> uris;
    GList *list = nullptr;
    for (const QUrl &url : urls)
        uris.append(url.toEncoded());
    for (const QByteArray &uri : uris)
        list = g_list_append(list, const_cast<char *>(uri.constData()));
    GError *gerror = nullptr;
    const bool launched = g_app_info_launch_uris(G_APP_INFO(info), list, nullptr, &gerror);
    g_list_free(list);
    g_object_unref(info);
    if (!launched && error)
        *error = gerror ? QString::fromUtf8(gerror->message) : QStringLiteral("launch failed");
    if (gerror)
        g_error_free(gerror);
    return launched;
}

} // namespace kzplatform
