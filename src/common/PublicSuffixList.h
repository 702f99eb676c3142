#pragma once

#include <QSet>
#include <QString>
#include <QStringList>

namespace quarlo {

// The Public Suffix List: which names are public suffixes ("com",
// "co.uk", "*.ck" but not "www.ck"), and so which part of a host name is the
// domain its owner registered. Rules are ASCII (international rules are
// stored in their ASCII form); host names given to it must be ASCII too.
class PublicSuffixList {
public:
    // Bounds for reading: the real list is about 250 KB of short lines.
    static constexpr qint64 kMaxFileSize = 8 * 1024 * 1024;
    static constexpr qint64 kMaxLineLength = 1024;

    // The Debian package's copy.
    static inline const QString kSystemPath = QStringLiteral("/usr/share/publicsuffix/public_suffix_list.dat");
    // The copy shipped beside the program.
    static inline const QString kBundledName = QStringLiteral("public_suffix_list.dat");

    // Reads a list in the published format; false (error says why) when the
    // file cannot be read, is too large or holds no rule at all.
    bool Load(const QString& path, QString* error = nullptr);
    // Adds the rules of text in the published format.
    void AddRules(const QString& text);
    int RuleCount() const { return static_cast<int>(rules_.size() + wildcards_.size() + exceptions_.size()); }

    // The public suffix of an ASCII host name (at least its last label, by
    // the list's default rule "*").
    QString PublicSuffix(const QString& host) const;
    // The public suffix and one label more ("www.example.co.uk" ->
    // "example.co.uk"); empty when the host is a public suffix itself.
    QString RegisteredDomain(const QString& host) const;

    // Loaded once: the system copy, else the bundled copy beside the
    // program, else no rules (each host's last label is its suffix).
    static const PublicSuffixList& Shared();
    // Where Shared() read its rules; empty when it found none.
    static QString SharedSource();

private:
    void addRule(QString rule);

    QSet<QString> rules_;      // "co.uk"
    QSet<QString> wildcards_;  // "ck" for "*.ck"
    QSet<QString> exceptions_; // "www.ck" for "!www.ck"
};

} // namespace quarlo
