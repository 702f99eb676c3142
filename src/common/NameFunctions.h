#pragma once

#include <QString>

namespace quarlo {

// Text usable as an XML element or attribute name: path separators and every
// character outside A-Z, a-z, 0-9, "_-.@" become "_". Empty input gives def.
QString SafeName(const QString& name, const QString& def);

// A host name as DNS may hand one back (an MX target, say) that is safe to
// use as a scan target: letters, digits, hyphens and dots, labels of 1 to 63
// characters not starting or ending with a hyphen, at most 253 characters
// (a single trailing dot allowed).
bool IsValidHostName(const QString& name);

// A host or domain name as typed, made ready for a DNS query: blanks and a
// single trailing dot removed, international names in their ASCII form
// ("bücher.example" -> "xn--bcher-kva.example"), lower case. Empty when it
// cannot be a host name; error (when given) then says why. Underscores are
// accepted: the name is looked up, not registered.
QString AsciiHostName(const QString& name, QString* error = nullptr);

// The bare file name of a Windows- or POSIX-style path.
QString FileName(const QString& path, bool stripExtension);

} // namespace quarlo
