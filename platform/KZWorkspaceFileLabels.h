// The desktop's file labels: a fixed list of names with their classic colours.
// A label is a tag of that name ("user.xdg.tags"); index 0 stands for no label.
#pragma once

#include <QList>
#include <QString>
#include <cstdint>

namespace kzplatform {

struct KZFileLabel {
    QString name;
    // 0xRRGGBB; meaningless for the no-label entry.
    uint32_t rgb = 0;
};

// "None", "Red", "Orange", "Yellow", "Green", "Blue", "Purple", "Gray", in
// this order. Any thread.
const QList<KZFileLabel> &kzWorkspaceFileLabels();
// The names of kzWorkspaceFileLabels(), in the same order.
QStringList kzWorkspaceFileLabelNames();

} // namespace kzplatform
