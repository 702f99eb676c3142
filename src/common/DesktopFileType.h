#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace quarlo {

// Makes the desktop know the program's document type for a copy that was not
// installed: a shared-mime-info package declaring the type and a desktop
// entry naming the running executable as its handler, both in the user's data
// folder. Files are written only when missing or different, so a program
// started again leaves them (and the databases built from them) alone.
class DesktopFileType {
public:
    static constexpr const char* kMimeType = "application/x-quarlo-blacklist";
    static constexpr const char* kApplicationId = "com.vantorel.Quarlo";

    // The MIME package: the type, described by description, for names ending
    // in extension in any letter case.
    static QByteArray MimePackage(const QString& extension, const QString& description);
    // The desktop entry starting executablePath with the document.
    static QByteArray DesktopEntry(const QString& executablePath);

    // Writes dataHome/mime/packages/<id>.xml and
    // dataHome/applications/<id>.desktop where missing or different; returns
    // the files written. A file that cannot be written is left out and its
    // reason added to errors.
    static QStringList WriteUserFiles(const QString& dataHome, const QString& executablePath, const QString& extension,
                                      const QString& description, QStringList* errors = nullptr);
    // Starts the desktop's database updaters, detached and only when
    // installed, for the folders of the written files. Never waits.
    static void UpdateDatabases(const QString& dataHome, const QStringList& written);
};

} // namespace quarlo
