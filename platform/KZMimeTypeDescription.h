// What the desktop calls a content type: the MIME database's description of an
// identifier, for menus that list types by name.
#pragma once

#include <QString>

namespace kzplatform {

// The localised description of a MIME type ("plain text document"), following
// aliases; empty when the database does not know the identifier (families
// such as "image/*" and "*/*" have none). Any thread.
QString kzMimeTypeDescription(const QString &identifier);

} // namespace kzplatform
