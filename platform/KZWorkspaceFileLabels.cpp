#include "platform/KZWorkspaceFileLabels.h"

#include <QStringList>

namespace kzplatform {

const QList<KZFileLabel> &kzWorkspaceFileLabels()
{
    static const QList<KZFileLabel> labels = {
        {QStringLiteral("None"), 0x000000},   {QStringLiteral("Red"), 0xFC605C},
        {QStringLiteral("Orange"), 0xFDA840}, {QStringLiteral("Yellow"), 0xFDD94A},
        {QStringLiteral("Green"), 0x6AC55B},  {QStringLiteral("Blue"), 0x4DA1F7},
        {QStringLiteral("Purple"), 0xC38BDA}, {QStringLiteral("Gray"), 0xA6A6AA},
    };
    return labels;
}

QStringList kzWorkspaceFileLabelNames()
{
    QStringList names;
    for (const KZFileLabel &label : kzWorkspaceFileLabels())
        names.append(label.name);
    return names;
}

} // namespace kzplatform
