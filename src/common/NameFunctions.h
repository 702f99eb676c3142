#pragma once

#include <QString>

namespace quarlo {

// Text usable as an XML element or attribute name: path separators and every
// character outside A-Z, a-z, 0-9, "_-.@" become "_". Empty input gives def.
QString SafeName(const QString& name, const QString& def);

// The bare file name of a Windows- or POSIX-style path.
QString FileName(const QString& path, bool stripExtension);

} // namespace quarlo
