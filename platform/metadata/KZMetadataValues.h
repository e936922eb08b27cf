// Strict parsers for the text values that image, media and document headers
// carry: a text that is not wholly a number or a date gives nothing, so that
// a damaged header never shows as a made-up value.
#pragma once

#include <QDateTime>
#include <QStringView>
#include <optional>

namespace kzplatform {

// A finite decimal number ("44100", "-3.5", "1.5e3") or a rational "n/d" with
// d != 0, surrounding blanks allowed; nothing for any other text.
std::optional<double> kzMetadataNumber(QStringView text);

// A date and time: "YYYY:MM:DD HH:MM:SS" (image headers), "YYYY-MM-DD HH:MM:SS",
// ISO 8601 with "T" and an optional "Z" or "+hh:mm", each with an optional
// fraction of seconds and an optional leading "UTC " (media headers; the time
// is then UTC), or a date alone "YYYY-MM-DD" (midnight). Times without a zone
// are local. Invalid for any other text and for impossible dates
// ("0000:00:00 00:00:00").
QDateTime kzMetadataDate(QStringView text);

} // namespace kzplatform
