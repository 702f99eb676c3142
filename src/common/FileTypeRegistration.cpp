#include "common/FileTypeRegistration.h"

#include "common/DesktopFileType.h"
#include "common/Registry.h"

#include <QDir>
#include <QFileInfo>
#include <QThreadPool>

namespace quarlo {

void RegisterFileType(Registry& registry, const QString& executablePath, const QString& extension,
                      const QString& description, const QString& desktopDataHome)
{
    // The file type is named after the executable's file name and the
    // commands name the executable itself. Where executables end in ".exe"
    // that is the executable's name without extension plus ".exe"; elsewhere
    // the file name is used as it is (no ".exe" appended, nothing after a dot
    // cut off), so the command always names a file that exists. The document
    // path stays unquoted, as the shell expects it in this registration.
    const QFileInfo executable(executablePath);
    const QString fileType = executable.fileName();
    const QString program = QDir::toNativeSeparators(QDir::cleanPath(executable.absoluteFilePath()));

    constexpr RegistryRoot root = RegistryRoot::ClassesRoot;
    const QString none; // the key's default value
    registry.SetValue(root, fileType, none, description);
    registry.SetValue(root, fileType + QStringLiteral("\\shell\\open\\command"), none, program + QStringLiteral(" %1"));
    registry.SetValue(root, fileType + QStringLiteral("\\DefaultIcon"), none, program + QStringLiteral(",0"));
    registry.SetValue(root, extension, none, fileType);

    if (desktopDataHome.isEmpty()) return;
    // Disk writes and process starts stay off the start-up path.
    QThreadPool::globalInstance()->start([desktopDataHome, executablePath, extension, description] {
        const QStringList written =
            DesktopFileType::WriteUserFiles(desktopDataHome, executablePath, extension, description);
        DesktopFileType::UpdateDatabases(desktopDataHome, written);
    });
}

} // namespace quarlo
