#include "platform/KZTrash.h"

#include <QFile>

#include "platform/KZGio.h"

namespace kzplatform {

namespace {

GFile *fileOf(const QString &path)
{
    return g_file_new_for_path(QFile::encodeName(path).constData());
}

} // namespace

bool kzCanTrash(const QString &path)
{
    GFile *file = fileOf(path);
    GFileInfo *info = g_file_query_info(file, G_FILE_ATTRIBUTE_ACCESS_CAN_TRASH,
                                        G_FILE_QUERY_INFO_NOFOLLOW_SYMLINKS, nullptr, nullptr);
    const bool can = info && g_file_info_get_attribute_boolean(info, G_FILE_ATTRIBUTE_ACCESS_CAN_TRASH);
    if (info)
        g_object_unref(info);
    g_object_unref(file);
    return can;
}

bool kzMoveToTrash(const QString &path, QString *error)
{
    GFile *file = fileOf(path);
    GError *gerror = nullptr;
    const bool trashed = g_file_trash(file, nullptr, &gerror);
    if (!trashed && error)
        *error = gerror ? QString::fromUtf8(gerror->message) : QStringLiteral("g_file_trash failed");
    if (gerror)
        g_error_free(gerror);
    g_object_unref(file);
    return trashed;
}

} // namespace kzplatform
