// The metadata item of a result, as the details pane shows it: the platform's
// item (file system, freedesktop attributes, images, audio and video) with the
// attributes of PDF documents read through Qt PDF added.
#pragma once

#include "platform/metadata/KZMetadataItem.h"

class FileMdItemReader
{
public:
    // Any thread except the GUI thread's busy paths: reads the disk. Nothing
    // when path does not exist. A symbolic link describes itself unless
    // followLink is set.
    static std::optional<kzplatform::KZMetadataItem> read(const QString &path, bool followLink = false);

    // The PDF reader on its own: title, authors, subject, keywords, the
    // creating and producing applications, content dates, page count and the
    // first page's size in points. Reads at most the item's read budget.
    static kzplatform::KZMetadataContentReader pdfReader();
};
