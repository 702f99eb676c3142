#include "cli/SnapshotOutput.h"

#include "common/AppInfo.h"
#include "export/ResultsSnapshot.h"
#include "export/TableFileWriter.h"
#include "model/Settings.h"
#include "scan/Addresslist.h"

#include <QDateTime>
#include <QFileInfo>
#include <QLocale>

namespace quarlo {

bool SnapshotOutput::IsGridFormat(CheckOptions::Format format)
{
    return format == CheckOptions::Format::Html || format == CheckOptions::Format::Xlsx
           || format == CheckOptions::Format::Pdf;
}

bool SnapshotOutput::Write(const Addresslist& list, const Settings& settings, CheckOptions::Format format,
                           const QString& path, const QStringList& listFiles, AtomicFileWriter::Links links,
                           QString* error)
{
    TableFileWriter::Format fileFormat = TableFileWriter::Format::Html;
    if (format == CheckOptions::Format::Xlsx) fileFormat = TableFileWriter::Format::Xlsx;
    else if (format == CheckOptions::Format::Pdf) fileFormat = TableFileWriter::Format::Pdf;

    int lists = 0;
    for (const ServerPtr& server : settings.BlacklistServers()) lists += server && server->Enabled() ? 1 : 0;
    ExportLayout layout;
    layout.title = (listFiles.size() == 1 ? QFileInfo(listFiles.first()).completeBaseName() + QLatin1Char(' ')
                                          : QString())
                   + QStringLiteral("Blacklist scan results");
    const QDateTime started =
        (list.Summary().started.isValid() ? list.Summary().started : QDateTime::currentDateTimeUtc()).toLocalTime();
    layout.subTitle = QStringLiteral("%1 targets checked against %2 lists, %3")
                          .arg(list.Count())
                          .arg(lists)
                          .arg(QLocale::c().toString(started, QStringLiteral("yyyy-MM-dd HH:mm")));
    layout.programName = DisplayTitle();
    layout.programVersion = ProgramVersion();
    return TableFileWriter::Write(ResultsSnapshot::FromList(list, settings), layout, fileFormat, path, error, links);
}

} // namespace quarlo
