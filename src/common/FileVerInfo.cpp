#include "common/FileVerInfo.h"

#include "common/AppInfo.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QStringList>
#include <array>

namespace quarlo {

namespace {

// The build's version "major.minor.patch[.tweak]" as the four 16-bit words of
// a version resource. Missing or unreadable parts count as 0; a part above
// 65535 keeps its low word, and one above 32767 reads back negative, as a
// word of a real resource would through the signed members.
std::array<qint16, 4> BuildVersionWords()
{
    std::array<qint16, 4> words{0, 0, 0, 0};
    const QStringList parts = ProgramVersion().split(QLatin1Char('.'));
    for (qsizetype i = 0; i < parts.size() && i < 4; ++i)
        words[static_cast<size_t>(i)] = static_cast<qint16>(static_cast<quint16>(parts[i].toUInt()));
    return words;
}

} // namespace

bool FileVerInfo::IsOwnExecutable(const QString& path)
{
    if (path.isEmpty() || !QCoreApplication::instance()) return false;
    // canonicalFilePath() is empty for files that do not exist, so a missing
    // file never matches.
    const QString candidate = QFileInfo(path).canonicalFilePath();
    return !candidate.isEmpty() && candidate == QFileInfo(QCoreApplication::applicationFilePath()).canonicalFilePath();
}

bool FileVerInfo::GetExecutableInfo()
{
    if (!QCoreApplication::instance()) {
        clear();
        return false;
    }
    return GetInfo(QCoreApplication::applicationFilePath());
}

bool FileVerInfo::GetInfo(const QString& path)
{
    if (!IsOwnExecutable(path)) {
        clear();
        return false;
    }
    const std::array<qint16, 4> words = BuildVersionWords();
    fileMajor_ = productMajor_ = words[0];
    fileMinor_ = productMinor_ = words[1];
    filePrivate_ = productPrivate_ = words[2];
    fileBuild_ = productBuild_ = words[3];
    fileDescription_ = DisplayTitle();
    productName_ = DisplayTitle();
    legalCopyright_ = QStringLiteral("Copyright \u00A9 Vantorel. All rights reserved.");
    return true;
}

void FileVerInfo::clear()
{
    fileMajor_ = fileMinor_ = filePrivate_ = fileBuild_ = -1;
    productMajor_ = productMinor_ = productPrivate_ = productBuild_ = -1;
    fileDescription_.clear();
    productName_.clear();
    legalCopyright_.clear();
}

} // namespace quarlo
