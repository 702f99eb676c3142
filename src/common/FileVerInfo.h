#pragma once

#include <QString>
#include <QVariant>

namespace quarlo {

// Version information of a file: file and product version as four 16-bit
// numbers each (Major.Minor.Private.Build), plus the descriptive texts. All
// numbers are -1 until information has been read, and again after reading a
// file that has none.
//
// Executables on this platform carry no version resource, so the only file
// with version information is the program's own executable, which reports the
// version the build was made with. It is recognised by its canonical path
// (links resolved) being that of QCoreApplication::applicationFilePath();
// every other file, a missing one and a directory have none.
class FileVerInfo {
public:
    // Reads the running executable. True when version information was found.
    bool GetExecutableInfo();
    // Reads the file at path. True when version information was found.
    bool GetInfo(const QString& path);

    qint16 ProductVersionBuild() const { return productBuild_; }
    qint16 ProductVersionPrivate() const { return productPrivate_; }
    qint16 ProductVersionMinor() const { return productMinor_; }
    qint16 ProductVersionMajor() const { return productMajor_; }
    // Automation clients receive this one as a general value, not a number.
    QVariant FileVersionBuild() const { return QVariant::fromValue(fileBuild_); }
    qint16 FileVersionPrivate() const { return filePrivate_; }
    qint16 FileVersionMinor() const { return fileMinor_; }
    qint16 FileVersionMajor() const { return fileMajor_; }

    // Texts of the version information; empty for a file without it.
    QString FileDescription() const { return fileDescription_; }
    QString ProductName() const { return productName_; }
    QString LegalCopyright() const { return legalCopyright_; }

    // The path names the running executable (through any links).
    static bool IsOwnExecutable(const QString& path);

private:
    void clear();

    qint16 fileMajor_ = -1;
    qint16 fileMinor_ = -1;
    qint16 filePrivate_ = -1;
    qint16 fileBuild_ = -1;
    qint16 productMajor_ = -1;
    qint16 productMinor_ = -1;
    qint16 productPrivate_ = -1;
    qint16 productBuild_ = -1;
    QString fileDescription_;
    QString productName_;
    QString legalCopyright_;
};

} // namespace quarlo
