// Content types of the walk: MIME type names found from a file's name alone
// (never by reading it), with a per-suffix cache, and the conformance rule
// between a type and the identifier of a type criterion.
#pragma once

#include <QString>
#include <cstddef>

namespace kzplatform {

class KZMimeTypes
{
public:
    // "inode/directory": the type of every folder (the database answers
    // "application/octet-stream" for a folder's name).
    static QString directoryTypeName();

    // The type of a regular file from its name (raw bytes, any encoding).
    // A name the database does not know gets its default type
    // ("application/octet-stream"); empty only when there is no database at
    // all. Any thread. Names whose type depends on their suffix alone are
    // answered from a cache keyed by that suffix (exact case: "*.C" and "*.c"
    // are different types); names that match a whole-name or multi-suffix
    // pattern ("Makefile", "CMakeLists.txt", "x.tar.gz") ask the database.
    static QString typeNameForFileName(const char *name, size_t length);
    static QString typeNameForFileName(const QString &name);

    // True when typeName is identifier, one of its aliases or descendants;
    // when identifier is a family "media/*" and the type or one of its
    // ancestors belongs to that media type; or when identifier is "*/*" and
    // there is a type at all. Any thread; answers are cached.
    static bool typeConformsTo(const QString &typeName, const QString &identifier);

    // Forgets the cached answers (tests).
    static void clearCaches();
};

} // namespace kzplatform
