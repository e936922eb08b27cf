// The system log: syslog(3) with the ident "trovix", and standard error when
// standard error is a terminal.
#pragma once

class QString;

namespace kzplatform {

// Writes one record. severity is Trovix's (0 DIAG .. 5 CRITIRAL EXCEPTION);
// it is mapped onto the syslog priorities. Thread-safe.
void kzSystemLogWrite(int severity, const QString &entry);

} // namespace kzplatform
