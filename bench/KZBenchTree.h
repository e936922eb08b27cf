// A deterministic synthetic folder tree for the walk benchmarks: the same
// entry count and seed always give the same names, types and shape.
#pragma once

#include <QString>
#include <cstdint>

namespace kzbench {

struct TreeStats {
    int64_t entries = 0; // everything below the root, folders included
    int64_t folders = 0;
    int64_t rareMatches = 0; // names holding "invoice", ignoring ASCII case
};

// Fills root (an existing empty folder) with about `entries` entries: folders
// of 4 to 40 entries down to depth 9, files with common suffixes, a few
// hidden names and symbolic links. Names holding the rare needle "invoice"
// are about one in 400. Returns the counts, or entries -1 on failure.
TreeStats makeTree(const QString &root, int64_t entries, uint32_t seed);

// Counts the entries below root with the directory-stream facade alone (no
// stat, no name test): the floor of this machine for this tree.
TreeStats countTree(const QString &root);

} // namespace kzbench
