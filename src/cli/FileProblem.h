#pragma once

#include <QString>

namespace quarlo {

// Why path cannot be read as a file at all; empty when it looks readable.
// Says what is wrong rather than the generic "Unknown error" a failed open
// of a directory or device can leave behind. missing: set when nothing is
// there at all.
QString FileProblem(const QString& path, bool* missing = nullptr);

// Why the blacklist server configuration at path is unusable, naming the
// file and, when it is no XML, where; empty when it reads. The server
// reader itself passes over a broken file silently.
QString ConfigurationProblem(const QString& path);

} // namespace quarlo
