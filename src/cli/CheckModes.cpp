#include "cli/CheckModes.h"

#include "cli/CheckRun.h"
#include "cli/CheckTargets.h"
#include "cli/FileProblem.h"
#include "cli/HistoryRun.h"
#include "cli/PrintableText.h"
#include "cli/ReportWriter.h"
#include "cli/ServeMode.h"
#include "cli/SnapshotOutput.h"
#include "common/AtomicFileWriter.h"
#include "common/RegFileBackend.h"
#include "common/Registry.h"
#include "common/RegistryLocation.h"
#include "common/VolatileRegistryBackend.h"
#include "model/Settings.h"
#include "scan/Addresslist.h"
#include "scan/Session.h"

#include <QCoreApplication>
#include <QTextStream>

namespace quarlo {

namespace {

// The zones that refused queries, with their reasons, in one phrase.
QString refusalPhrase(const QMap<QString, QString>& zones)
{
    QStringList reasons;
    for (const QString& reason : zones) reasons.append(reason);
    reasons.removeDuplicates();
    if (reasons.size() == 1) return zones.keys().join(QStringLiteral(", ")) + QStringLiteral(": ") + reasons.first();
    QStringList parts;
    for (auto it = zones.cbegin(); it != zones.cend(); ++it)
        parts.append(it.key() + QStringLiteral(" (") + it.value() + QLatin1Char(')'));
    return parts.join(QStringLiteral(", "));
}

// Once per scan, whatever the format: these explain many results at once.
void warnAboutScan(const ScanSummary& summary)
{
    if (summary.NoDnsAnswered())
        CheckMessages::Warn(
            QStringLiteral("No DNS server answered; check your network or the --dns option / QUARLO_DNS_SERVERS"));
    if (!summary.refusingZones.isEmpty())
        CheckMessages::Warn(QStringLiteral("Your DNS resolver is refused by %1; use your own resolver")
                                .arg(refusalPhrase(summary.refusingZones)));
    if (summary.abandoned > 0) CheckMessages::Warn(StallWarning(summary));
}

// Writes the report of a finished check where it was asked for, and records
// the scan meanwhile; the exit status, or -1 when it was written.
int writeReport(const CheckReport& report, Addresslist& list, Settings& settings, const CheckOptions& options)
{
    QString error;
    if (SnapshotOutput::IsGridFormat(options.format)) {
        // Written beside the report; waited for when this ends.
        const auto recording = HistoryRun::Record(list, settings, options);
        if (SnapshotOutput::Write(report.targets, list, settings, options.format, options.outputPath, options.listFiles,
                                  options.outputLinks(), &error))
            return -1;
    } else {
        // The report is written in pieces while the record catches up.
        QString text;
        QTextStream out(stdout);
        if (!options.outputPath.isEmpty()) out.setString(&text);
        const ReportWriter writer(settings.BlacklistServers(), report);
        ReportWriter::Progress progress;
        // The file is in place before the record is waited for.
        const auto recording = HistoryRun::Record(list, settings, options,
                                                  [&] { return writer.writeSome(out, options.format, progress); });
        while (writer.writeSome(out, options.format, progress)) {}
        out.flush();
        if (options.outputPath.isEmpty()) return -1;
        if (AtomicFileWriter::Replace(options.outputPath, text.toUtf8(), error, options.outputLinks())) return -1;
    }
    CheckMessages::Warn(QStringLiteral("cannot write %1: %2").arg(Printable(options.outputPath), Printable(error)));
    return CheckMessages::kExitUsage;
}

// What a finished check prints, records and returns.
int finishCheck(CheckRun& run, Addresslist& list, Settings& settings, const CheckOptions& options)
{
    CheckReport report;
    report.started = list.Summary().started;
    report.dnsServers = list.DNSServerList();
    report.zoneTests = list.ZoneTests();
    report.targets = run.takeTargets();
    if (options.watch) {
        const int status = HistoryRun::FinishWatch(list, settings, options, report.targets);
        warnAboutScan(list.Summary());
        return status;
    }
    if (const int failed = writeReport(report, list, settings, options); failed >= 0) return failed;
    warnAboutScan(list.Summary());
    return ExitStatusFor(report.targets);
}

} // namespace

int CheckModes::Serve(ServeOptions serve, const CheckMessages& messages)
{
    if (const QString problem = ConfigurationProblem(serve.check.configPath); !problem.isEmpty())
        return messages.Fail(problem);
    RegFileBackend storedRegistry(DefaultRegistryDirectory());
    VolatileRegistryBackend registryBackend(&storedRegistry);
    Registry registry(registryBackend);
    ServeMode server(std::move(serve), registry);
    QString why;
    if (!server.start(&why)) return messages.Fail(why);
    CheckMessages::Warn(QStringLiteral("serving on %1").arg(server.url()));
    return QCoreApplication::exec();
}

int CheckModes::Check(const CheckOptions& options, const CheckMessages& messages)
{
    // Unreadable sources end the run before any DNS query.
    CheckTargets::Gathered gathered = CheckTargets::Gather(options);
    if (!gathered.error.isEmpty()) return messages.Fail(gathered.error);
    for (const QString& source : gathered.emptySources)
        CheckMessages::Warn(source + QStringLiteral("; checking the other targets"));

    if (const QString problem = ConfigurationProblem(options.configPath); !problem.isEmpty())
        return messages.Fail(problem);
    RegFileBackend storedRegistry(DefaultRegistryDirectory());
    // Options given on the command line apply to this run only.
    VolatileRegistryBackend registryBackend(&storedRegistry);
    Registry registry(registryBackend);
    Session session(registry,
                    {.configPath = options.configPath, .dnsServers = options.dnsServers, .tuning = options.tuning});
    Settings& settings = session.Settings();
    if (!session.LastError().isEmpty()) return messages.Fail(session.LastErrorText().OneLine());
    int enabled = 0;
    for (const ServerPtr& server : settings.BlacklistServers()) enabled += server->Enabled() ? 1 : 0;
    if (enabled == 0)
        return messages.Fail(QStringLiteral("%1 holds no enabled blacklist server").arg(options.configPath));
    if (options.maxQueries > 0) settings.setMaxQueries(options.maxQueries);
    // For this run only: the registry under it is volatile.
    if (options.noListTest) settings.setCheckListsBeforeScanning(false);
    for (const auto& [name, value] : options.accessKeys) settings.setRunAccessKey(name, value);

    Addresslist& list = session.Addresslist();
    list.setResolverOptions({.ipv6 = options.ipv6Lookups, .allMailExchangers = options.allMailExchangers});
    CheckRun run(list, options.progress);
    QObject::connect(
        &run, &CheckRun::finished, QCoreApplication::instance(),
        [&] { QCoreApplication::exit(finishCheck(run, list, settings, options)); }, Qt::QueuedConnection);
    run.start(std::move(gathered.targets));
    return QCoreApplication::exec();
}

} // namespace quarlo
