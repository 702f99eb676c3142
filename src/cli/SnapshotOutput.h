#pragma once

#include "cli/CheckOptions.h"
#include "cli/CheckTarget.h"

#include <QString>
#include <QStringList>

#include <vector>

namespace quarlo {

class Addresslist;
class Settings;

// Writes a check as the desktop program's results grid (HTML, spreadsheet
// or PDF report): the same rows and texts the window shows, every target
// in the order given, those rejected before the scan with the reason.
class SnapshotOutput {
public:
    static bool IsGridFormat(CheckOptions::Format format);
    // The title names the list file when the targets came from exactly one.
    static bool Write(const std::vector<CheckTarget>& targets, const Addresslist& list, const Settings& settings,
                      CheckOptions::Format format, const QString& path, const QStringList& listFiles,
                      AtomicFileWriter::Links links, QString* error);
};

} // namespace quarlo
