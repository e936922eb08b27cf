// Linux file names are byte strings that need not be UTF-8, while Trovix hands
// paths around as QString. These functions carry every byte across: valid
// UTF-8 decodes as usual, and each byte outside a valid UTF-8 sequence becomes
// the lone surrogate U+DC80 + (byte - 0x80), which valid UTF-8 never yields,
// and turns back into that byte.
#pragma once

#include <QByteArray>
#include <QString>

namespace kzplatform {

// The text of a path; *isUtf8 (when given) tells whether every byte was
// valid UTF-8, that is whether the text shows the path as it is.
QString kzPathFromBytes(const QByteArray &bytes, bool *isUtf8 = nullptr);
// The bytes of a path made by kzPathFromBytes; any other text as UTF-8.
QByteArray kzPathBytes(const QString &path);
// The length (1 to 4) of the valid UTF-8 character at p, with at most left
// bytes there, and its code point in *codePoint; 0 when none starts at p.
int kzUtf8SequenceLength(const unsigned char *p, qsizetype left, char32_t *codePoint);
// The current working folder, exact; empty when it cannot be read.
QString kzCurrentDirPath();

} // namespace kzplatform
