// The built-in content readers of the metadata item (internal to this folder).
#pragma once

#include "platform/metadata/KZMetadataItem.h"

namespace kzplatform {

// Images through Exiv2: EXIF, IPTC and XMP.
bool kzIsImageType(const QString &mimeType);
void kzReadImageMetadata(int fd, KZMetadataItem &item);

// Audio and video through MediaInfo, fed from fd within the read budget.
bool kzIsMediaType(const QString &mimeType);
void kzReadMediaMetadata(int fd, KZMetadataItem &item);

} // namespace kzplatform
