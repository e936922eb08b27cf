#include "platform/KZMimeTypeDescription.h"

#include <QMimeDatabase>
#include <QMimeType>

namespace kzplatform {

QString kzMimeTypeDescription(const QString &identifier)
{
    if (identifier.isEmpty())
        return QString();
    const QMimeDatabase db;
    const QMimeType type = db.mimeTypeForName(identifier);
    if (!type.isValid())
        return QString();
    return type.comment();
}

} // namespace kzplatform
