#include "cli/SnapshotOutput.h"

#include "common/AppInfo.h"
#include "export/ResultsSnapshot.h"
#include "export/TableFileWriter.h"
#include "model/Settings.h"
#include "scan/Addresslist.h"

#include <QDateTime>
#include <QFileInfo>

namespace quarlo {

bool SnapshotOutput::IsGridFormat(CheckOptions::Format format)
{
    return format == CheckOptions::Format::Html || format == CheckOptions::Format::Xlsx
        || format == CheckOptions::Format::Pdf;
}

bool SnapshotOutput::Write(const std::vector<CheckTarget>& targets, const Addresslist& list, const Settings& settings,
                           CheckOptions::Format format, const QString& path, const QStringList& listFiles,
                           AtomicFileWriter::Links links, QString* error)
{
    TableFileWriter::Format fileFormat = TableFileWriter::Format::Html;
    if (format == CheckOptions::Format::Xlsx)
        fileFormat = TableFileWriter::Format::Xlsx;
    else if (format == CheckOptions::Format::Pdf)
        fileFormat = TableFileWriter::Format::Pdf;

    std::vector<ReportTarget> rows;
    rows.reserve(targets.size());
    for (const CheckTarget& target : targets) rows.push_back({target.target, target.invalid, target.address.get()});

    ExportLayout layout;
    const QString listName = listFiles.size() == 1 ? QFileInfo(listFiles.first()).completeBaseName() : QString();
    const QDateTime started =
        list.Summary().started.isValid() ? list.Summary().started : QDateTime::currentDateTimeUtc();
    layout.title =
        ResultsSnapshot::Title(listName, started, int(targets.size()), ResultsSnapshot::EnabledLists(settings));
    layout.programName = DisplayTitle();
    layout.programVersion = ProgramVersion();
    return TableFileWriter::Write(ResultsSnapshot::FromTargets(rows, settings), layout, fileFormat, path, error, links);
}

} // namespace quarlo
