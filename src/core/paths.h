#pragma once
// Turning the bytes that name a file (argv, a chooser's answer, a dropped URI) into the
// path that the rest of the program opens, without ever naming another file instead.
#include <QByteArray>
#include <QString>

#include <expected>

namespace perlane {

// A usable path, or why the name cannot be used.
using Choice = std::expected<QString, QString>;

// A local path from its bytes. Refused when the text form would not give the same bytes
// back (a name that is not valid in the locale's encoding would open a different file).
Choice path_from_bytes(const QByteArray &bytes);

// A local path from a file URI in its encoded form: "file:///p" and "file://localhost/p".
// Other hosts, other schemes and an encoded NUL are refused.
Choice path_from_uri(const QByteArray &uri);

} // namespace perlane
