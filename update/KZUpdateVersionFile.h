// The version file the maker's web site serves, "|"-separated:
//   build|display version|download URL[|minimum system[|SHA-256 of the archive]]
//   code|message
// and the comparison of a minimum system (major.minor[.patch]) with the
// running kernel release.
#pragma once

#include <QByteArray>
#include <QString>

struct KZUpdateVersionFile {
    enum Kind { Malformed, Message, Offer };
    Kind kind = Malformed;

    // Message: a code and its text (code 1: show it to the user).
    qint64 code = 0;
    QString message;

    // Offer.
    qint64 build = 0;
    QString displayVersion;
    QString downloadLink;
    QString minimumSystem; // empty: none
    QByteArray sha256; // 32 bytes, or empty when the file names none

    // Decodes UTF-8 (ASCII when the bytes are not UTF-8) and splits the first
    // line at "|". A build that is not a decimal number, an empty version or
    // link, or a fifth field that is not 64 hex digits makes the file malformed.
    static KZUpdateVersionFile parse(const QByteArray &bytes);
};

// Major, minor and patch of a version text ("6.1.0-13-amd64" gives 6, 1, 0).
// False when it has fewer than two numeric components: such a minimum imposes
// nothing.
bool kzParseSystemVersion(const QString &text, int *major, int *minor, int *patch);
// True when `release` (a kernel release) is older than `minimum`; a minimum
// that does not parse never makes it older.
bool kzSystemIsOlderThan(const QString &release, const QString &minimum);
// The running kernel's release (`uname -r`).
QString kzKernelRelease();
