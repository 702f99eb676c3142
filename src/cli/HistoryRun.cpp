#include "cli/HistoryRun.h"

#include <QCryptographicHash>
#include <QFileInfo>

#include "cli/ChangeNotifier.h"
#include "cli/HistoryCsvWriter.h"
#include "cli/PrintableText.h"
#include "cli/PrometheusWriter.h"
#include "cli/WatchReport.h"
#include "common/AtomicFileWriter.h"
#include "model/Settings.h"
#include "scan/Addresslist.h"
#include "scan/ScanRecorder.h"
#include "storage/HistoryRecordJob.h"
#include "storage/HistoryStore.h"

#include <QTextStream>
#include <cstdio>
#include <utility>

namespace quarlo {
namespace {

constexpr int kExitUsage = 2;

void warn(const QString& message)
{
    QTextStream(stderr) << "quarlo-check: " << message << '\n';
}

QString historyPath(const CheckOptions& options)
{
    return options.historyPath.isEmpty() ? HistoryStore::DefaultPath() : options.historyPath;
}

int retentionDays(Settings& settings)
{
    return settings.RetrieveOption(ScanRecorder::kRetentionOption, 0).toInt();
}

// To --output (replaced whole) or standard output; false after a warning.
bool emitOutput(const CheckOptions& options, const QByteArray& bytes)
{
    if (options.outputPath.isEmpty()) {
        std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stdout);
        std::fflush(stdout);
        return true;
    }
    QString error;
    if (AtomicFileWriter::Replace(options.outputPath, bytes, error, options.outputLinks())) return true;
    warn(QStringLiteral("cannot write %1: %2").arg(Printable(options.outputPath), Printable(error)));
    return false;
}

// Every observation of the finished scan into job (and report), in batches;
// meanwhile does other work while job is behind, until it says it is done.
void observeInto(Addresslist& list, HistoryRecordJob& job, WatchReport* report,
                 const std::function<bool()>& meanwhile = {})
{
    constexpr size_t kBatch = 1024;
    std::vector<ScanObservation> batch;
    batch.reserve(kBatch);
    bool more = static_cast<bool>(meanwhile);
    ScanRecorder::ObserveEach(list, [&](ScanObservation&& seen) {
        if (report) report->add(seen);
        batch.push_back(std::move(seen));
        if (batch.size() >= kBatch) {
            while (more && job.Full()) more = meanwhile();
            job.Add(std::exchange(batch, {}));
            batch.reserve(kBatch);
        }
    });
    job.Add(std::move(batch));
}

} // namespace

std::unique_ptr<HistoryRun::Pending> HistoryRun::Record(Addresslist& list, Settings& settings,
                                                        const CheckOptions& options,
                                                        const std::function<bool()>& meanwhile)
{
    if (options.noHistory) return nullptr;
    const QString listFile = options.listFiles.isEmpty() ? QString() : options.listFiles.first();
    // A plain run reports no changes: none are collected.
    auto job = std::make_unique<HistoryRecordJob>(historyPath(options),
                                                  ScanRecorder::Header(list, QStringLiteral("cli"), listFile),
                                                  retentionDays(settings), false);
    // Streamed in batches: a scan of a /16 against many lists is millions
    // of outcomes.
    observeInto(list, *job, nullptr, meanwhile);
    return std::make_unique<Pending>(std::move(job));
}

HistoryRun::Pending::~Pending()
{
    const HistoryRecordJob::Result result = job_->Finish();
    if (!result.written) warn(QStringLiteral("history not written: ") + result.error);
}

QString HistoryRun::WatchName(const CheckOptions& options, const std::vector<CheckTarget>& targets)
{
    if (!options.watchName.isEmpty()) return options.watchName;
    // The same list files, wherever they are named from, are the same watch.
    QStringList parts;
    for (const QString& file : options.listFiles) {
        const QFileInfo info(file);
        parts << (info.canonicalFilePath().isEmpty() ? info.absoluteFilePath() : info.canonicalFilePath());
    }
    if (!parts.isEmpty()) return QStringLiteral("files:") + parts.join(QLatin1Char('\n'));
    // Targets given directly: the same set of targets is the same watch.
    QStringList given;
    for (const CheckTarget& target : targets) given << target.target.toCaseFolded();
    given.sort();
    return QStringLiteral("targets:")
        + QString::fromLatin1(
               QCryptographicHash::hash(given.join(QLatin1Char('\n')).toUtf8(), QCryptographicHash::Sha1).toHex());
}

int HistoryRun::FinishWatch(Addresslist& list, Settings& settings, const CheckOptions& options,
                            const std::vector<CheckTarget>& targets, QByteArray* metrics)
{
    const QString listFile = options.listFiles.isEmpty() ? QString() : options.listFiles.first();
    const ScanRecord scan = ScanRecorder::Header(list, QStringLiteral("cli"), listFile);
    WatchReport report(scan, targets, options.warningLists, options.criticalLists);
    WatchReport::History history;
    history.path = historyPath(options);
    report.setWatch(WatchName(options, targets));
    std::vector<HistoryChange> changes;
    if (options.noHistory) {
        ScanRecorder::ObserveEach(list, [&](const ScanObservation& seen) { report.add(seen); });
        history.error = QStringLiteral("--no-history was given");
    } else {
        HistoryRecordJob job(history.path, scan, retentionDays(settings), true, report.watch());
        // One pass: the report keeps the listings, the history takes everything.
        observeInto(list, job, &report);
        HistoryRecordJob::Result result = job.Finish();
        history.written = result.written;
        history.previousScan = result.previousScan;
        changes = std::move(result.changes);
        if (!history.written) {
            history.error = result.error;
            // Another watch held the file past the wait: what changed is not known.
            history.locked = result.locked;
            warn(QStringLiteral("history not written: ") + history.error);
        }
    }
    report.finish(std::move(changes), history);

    QByteArray output;
    if (options.prometheus || metrics)
        output = PrometheusWriter::Write(report, [&](const auto& sink) { ScanRecorder::ObserveEach(list, sink); });
    else if (options.format == CheckOptions::Format::Json)
        output = report.json();
    else
        output = report.text().toUtf8();
    // A report that could not be written leaves the verdict unknown to the
    // monitoring system.
    if (metrics) *metrics = output;
    const bool written = metrics || emitOutput(options, output);

    // Without a history every listing would look new: only real changes are passed on.
    if (report.hasChanges()) {
        if (!options.notifyCommand.isEmpty()) {
            QString error;
            if (!ChangeNotifier::RunCommand(options.notifyCommand, report.json(), &error)) warn(error);
        }
        if (!options.mailTo.isEmpty()) {
            QString error;
            if (!ChangeNotifier::SendMail(options.mailTo, report.subject(), report.text(), &error)) warn(error);
        }
    }
    return written ? int(report.status()) : int(WatchReport::Unknown);
}

int HistoryRun::Prune(const CheckOptions& options, int days)
{
    HistoryStore store;
    qint64 removed = 0;
    if (!store.Open(historyPath(options)) || !store.Prune(days, QDateTime::currentDateTimeUtc(), &removed)) {
        warn(store.LastError());
        return kExitUsage;
    }
    QTextStream(stdout) << QStringLiteral("Removed %1 history rows older than %2 days from %3\n")
                               .arg(removed)
                               .arg(days)
                               .arg(store.Path());
    return 0;
}

int HistoryRun::ExportCsv(const CheckOptions& options, const QString& target)
{
    HistoryStore store;
    std::vector<HistoryEvent> events;
    if (!store.Open(historyPath(options), true) || !store.Timeline(target.trimmed(), &events)) {
        warn(store.LastError());
        return kExitUsage;
    }
    if (events.empty()) warn(QStringLiteral("no history for %1 in %2").arg(Excerpt(target), store.Path()));
    return emitOutput(options, HistoryCsvWriter::Write(events).toUtf8()) ? 0 : kExitUsage;
}

} // namespace quarlo
