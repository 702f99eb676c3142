#pragma once

#include "cli/CheckOptions.h"

#include <QString>
#include <QStringList>

namespace quarlo {

class Addresslist;
class Settings;

// Writes the scanned list as the desktop program's results grid (HTML,
// spreadsheet or PDF report), the same rows and texts the window shows.
class SnapshotOutput {
public:
    static bool IsGridFormat(CheckOptions::Format format);
    // title names the list file when the targets came from exactly one.
    static bool Write(const Addresslist& list, const Settings& settings, CheckOptions::Format format,
                      const QString& path, const QStringList& listFiles, AtomicFileWriter::Links links, QString* error);
};

} // namespace quarlo
