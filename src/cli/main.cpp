// quarlo-check: checks addresses against the configured DNS blacklists from
// the command line, on the same engine as the desktop program.
#include "cli/CheckOptions.h"
#include "cli/CheckRun.h"
#include "cli/ChangeNotifier.h"
#include "cli/HistoryRun.h"
#include "cli/LineReader.h"
#include "cli/ListFileReader.h"
#include "cli/PrintableText.h"
#include "cli/ReportWriter.h"
#include "cli/ServeArguments.h"
#include "cli/ServeMode.h"
#include "cli/SnapshotOutput.h"
#include "cli/TargetCollector.h"
#include "cli/WatchReport.h"
#include "common/AtomicFileWriter.h"
#include "common/ConfigLocation.h"
#include "common/IpFunctions.h"
#include "common/IpRange.h"
#include "common/RegFileBackend.h"
#include "common/Registry.h"
#include "common/RegistryLocation.h"
#include "common/TargetLimits.h"
#include "common/VolatileRegistryBackend.h"
#include "model/Settings.h"
#include "scan/Addresslist.h"
#include "scan/DnsServers.h"
#include "scan/Session.h"
#include "storage/ServerConfigFile.h"
#include "storage/XmlDocumentFile.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QTextStream>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <pugixml.hpp>
#include <sys/stat.h>
#include <unistd.h>

using namespace quarlo;

namespace {

constexpr int kExitClean = 0;
constexpr int kExitUsage = 2;
constexpr qsizetype kMaxTargets = TargetLimits::kMaxTargets;
// Standard input is cut into lines as list files are.
constexpr qsizetype kMaxLineBytes = ListFileReader::kMaxLineBytes;
// Endless input (/dev/zero, "yes") ends the run instead of spinning forever.
constexpr qint64 kMaxInputBytes = qint64(1) << 30;

void warn(const QString& message) { QTextStream(stderr) << "quarlo-check: " << message << '\n'; }

// A monitoring system reads 2 from a watch run as CRITICAL: there, a run
// that cannot even start is UNKNOWN.
int usageExit = kExitUsage;

int fail(const QString& message)
{
    warn(message);
    // A monitoring system reads the verdict from the first line of standard
    // output, also when the run could not start.
    if (usageExit == 3) {
        std::fputs(WatchReport::StartupFailure(message).toUtf8().constData(), stdout);
        std::fflush(stdout);
    }
    return usageExit;
}

// An argument is a list file when it names an existing regular file, and
// only then: "example.org" or "servers.blacklist.example" stay targets
// unless a file of that name is there.
bool namesRegularFile(const QString& argument)
{
    struct stat status {};
    return !argument.isEmpty() && ::stat(QFile::encodeName(argument).constData(), &status) == 0 && S_ISREG(status.st_mode);
}

// No target holds a "/" but a network range (an address before it) or a
// mail address (in its local part): any other argument with one is a path,
// to a file that is missing or no regular file, and is reported as such
// rather than checked as a host name.
bool isPath(const QString& argument)
{
    const qsizetype slash = argument.indexOf(QLatin1Char('/'));
    if (slash < 0 || argument.contains(QLatin1Char('@'))) return false;
    const QString base = argument.left(slash).trimmed();
    return !IsValidIP(base) && !IsIPv6Literal(base);
}

// A whole number in [low, high] from an option's value.
bool readBounded(const QString& text, int low, int high, int* value)
{
    bool ok = false;
    const int number = text.trimmed().toInt(&ok);
    if (!ok || number < low || number > high) return false;
    *value = number;
    return true;
}

// Why path cannot be read as a file at all; empty when it looks readable.
// Says what is wrong rather than the generic "Unknown error" a failed open
// of a directory or device can leave behind.
QString fileProblem(const QString& path, bool* missing = nullptr)
{
    struct stat status {};
    if (::stat(QFile::encodeName(path).constData(), &status) != 0) {
        const int error = errno;
        if (missing) *missing = error == ENOENT;
        return error == ENOENT ? QStringLiteral("the file does not exist") : QString::fromLocal8Bit(std::strerror(error));
    }
    if (S_ISDIR(status.st_mode)) return QStringLiteral("it is a directory, not a file");
    if (!S_ISREG(status.st_mode)) return QStringLiteral("it is not a regular file");
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return file.errorString();
    return QString();
}

// Where and why an XML file fails to parse: "line L, column C: reason".
QString parseErrorIn(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return QString();
    // Only files the reader found malformed get here, so within its limit.
    const QByteArray bytes = file.read(ServerConfigFile::kMaxFileBytes);
    pugi::xml_document doc;
    const pugi::xml_parse_result result =
        doc.load_buffer(bytes.constData(), static_cast<size_t>(bytes.size()), pugi::parse_default, pugi::encoding_auto);
    if (result) return QString();
    const QByteArray before = bytes.left(static_cast<qsizetype>(result.offset));
    const qsizetype lineStart = before.lastIndexOf('\n') + 1;
    return QStringLiteral("line %1, column %2: %3")
        .arg(before.count('\n') + 1)
        .arg(before.size() - lineStart + 1)
        .arg(QString::fromUtf8(result.description()));
}

// Checks that the configuration file reads as XML; the server reader itself
// passes over a broken file silently.
QString configurationProblem(const QString& path)
{
    bool missing = false;
    if (const QString problem = fileProblem(path, &missing); !problem.isEmpty()) {
        if (missing) return QStringLiteral("no blacklist server configuration at %1: %2").arg(path, problem);
        return QStringLiteral("cannot read the blacklist server configuration %1: %2").arg(path, problem);
    }
    pugi::xml_document doc;
    QString description;
    switch (XmlDocumentFile::Load(doc, path, description, ServerConfigFile::kMaxFileBytes)) {
    case XmlDocumentFile::LoadStatus::Loaded: return QString();
    case XmlDocumentFile::LoadStatus::Missing:
        return QStringLiteral("no blacklist server configuration at %1: %2").arg(path, description);
    case XmlDocumentFile::LoadStatus::Malformed: {
        const QString where = parseErrorIn(path);
        return QStringLiteral("the blacklist server configuration %1 is not well-formed XML: %2")
            .arg(path, where.isEmpty() ? description : where);
    }
    case XmlDocumentFile::LoadStatus::Failed:
        return QStringLiteral("cannot read the blacklist server configuration %1: %2").arg(path, description);
    }
    return QString();
}

// The zones that refused queries, with their reasons, in one phrase.
QString refusalPhrase(const QMap<QString, QString>& zones)
{
    QStringList reasons;
    for (const QString& reason : zones) reasons.append(reason);
    reasons.removeDuplicates();
    if (reasons.size() == 1) return zones.keys().join(QStringLiteral(", ")) + QStringLiteral(": ") + reasons.first();
    QStringList parts;
    for (auto it = zones.cbegin(); it != zones.cend(); ++it) parts.append(it.key() + QStringLiteral(" (") + it.value() + QLatin1Char(')'));
    return parts.join(QStringLiteral(", "));
}

// Whether the arguments ask for a PDF, which needs fonts and so a GUI
// application object (on the offscreen platform unless one is chosen).
bool wantsPdf(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        const QByteArray arg(argv[i]);
        if (arg.compare("--format=pdf", Qt::CaseInsensitive) == 0) return true;
        if (arg == "--format" && i + 1 < argc && QByteArray(argv[i + 1]).compare("pdf", Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

} // namespace

int main(int argc, char** argv)
{
    std::unique_ptr<QCoreApplication> application;
    if (wantsPdf(argc, argv)) {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
        application = std::make_unique<QGuiApplication>(argc, argv);
    } else {
        application = std::make_unique<QCoreApplication>(argc, argv);
    }
    QCoreApplication& app = *application;
    bool serving = false;
    for (int i = 1; i < argc; ++i) serving = serving || std::strncmp(argv[i], "--serve", 7) == 0;
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--watch") == 0 && !serving) usageExit = 3;
    QCoreApplication::setApplicationName(QStringLiteral("quarlo-check"));
    QCoreApplication::setApplicationVersion(QStringLiteral(QUARLO_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Checks IP addresses, host names and e-mail addresses against DNS blacklists.\n"
        "Targets come from the arguments, from list files and from standard input (\"-\", or\n"
        "when no target is given and standard input is not a terminal), one per line. An\n"
        "argument is a list file when a regular file of that name exists (else it is a\n"
        "target, however it looks), and so is --file FILE. A list file is a .BlackList\n"
        "address list or text with one target per line, told apart by content, not name.\n"
        "A host name is checked at every address it has; an e-mail address at every address\n"
        "of its domain's best mail servers (--all-mx: all of them), reported under the\n"
        "address as given.\n"
        "Status per target: listed, clean, incomplete, refused, unresolvable, invalid, no-mail,\n"
        "not-applicable (no enabled list can answer for it, e.g. an IPv6 address),\n"
        "not-checked (no list was asked).\n"
        "Exit status: 0 every target is clean; 1 a target is listed; 3 nothing is listed but\n"
        "a target could not be vouched for (incomplete, refused, unresolvable, invalid,\n"
        "no-mail, not-applicable or not-checked); 2 bad usage, an unreadable or binary file,\n"
        "no targets found in the input, or an unusable configuration.\n"
        "An empty argument is an invalid target; empty lines and lines starting with \"#\"\n"
        "in files and standard input are skipped. A network range (203.0.113.0/24, /16 to /32,\n"
        "or 203.0.113.10-203.0.113.50, at most 65536 addresses) stands for each of its\n"
        "addresses. At most 100000 targets per run.\n"
        "Every finished scan is recorded in the history (--history, QUARLO_HISTORY, else\n"
        "$XDG_DATA_HOME/quarlo/history.sqlite). --watch prints only what changed since the\n"
        "last recorded scan and exits 0 OK, 1 WARNING (a target on -w lists), 2 CRITICAL\n"
        "(on -c lists), 3 UNKNOWN (some target not completely checked, or the run could not\n"
        "start: bad usage, unreadable input or configuration, no targets found).\n"
        "--serve [ADDRESS:]PORT runs as a service for a monitoring system (loopback only\n"
        "unless an address is given): GET /probe?target=T checks T now and answers in the\n"
        "Prometheus text format, /metrics holds the scheduled watches (--watch FILE\n"
        "[--every 1h], several allowed) and / is a status page."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption fileOption({QStringLiteral("f"), QStringLiteral("file")},
                                        QStringLiteral("Read targets from FILE: a .BlackList address list or text, one target per line."),
                                        QStringLiteral("FILE"));
    const QCommandLineOption configOption(QStringLiteral("config"),
                                          QStringLiteral("Blacklist server configuration (default: quarlo.cfg beside this program, else "
                                                         "the user's, the system's or the installed copy)."),
                                          QStringLiteral("FILE"));
    const QCommandLineOption maxOption(QStringLiteral("max-queries"),
                                       QStringLiteral("Queries kept in flight at once (10 to 800; default: the stored option)."),
                                       QStringLiteral("N"));
    const QCommandLineOption dnsOption(QStringLiteral("dns"),
                                       QStringLiteral("DNS servers to ask, comma-separated IP addresses with an optional port "
                                                      "(192.0.2.53:5353, [2001:db8::53]:5353)."),
                                       QStringLiteral("SERVERS"));
    const QCommandLineOption timeoutOption(QStringLiteral("timeout"),
                                           QStringLiteral("Longest wait for one try of a DNS query, in milliseconds (100 to 60000; default %1).")
                                               .arg(DnsTuning().maxTimeoutMs),
                                           QStringLiteral("MS"));
    const QCommandLineOption triesOption(QStringLiteral("tries"),
                                         QStringLiteral("Tries per DNS query, the first one included (1 to 10; default %1).")
                                             .arg(DnsTuning().tries),
                                         QStringLiteral("N"));
    const QCommandLineOption formatOption(
        QStringLiteral("format"),
        QStringLiteral("Output: text, json or csv; html, xlsx or pdf write the results grid to --output."),
        QStringLiteral("FORMAT"), QStringLiteral("text"));
    const QCommandLineOption outputOption({QStringLiteral("o"), QStringLiteral("output")},
                                          QStringLiteral("Write the output to FILE instead of standard output (replaced only when complete; "
                                                         "a symbolic link there is refused, see --output-follow-links)."),
                                          QStringLiteral("FILE"));
    const QCommandLineOption followLinksOption(
        QStringLiteral("output-follow-links"),
        QStringLiteral("When --output FILE is a symbolic link, replace the file it points at (by default a link is "
                       "refused: one placed by another user in a shared folder such as /tmp would choose the file)."));
    const QCommandLineOption quietOption({QStringLiteral("q"), QStringLiteral("quiet")},
                                         QStringLiteral("No progress line (warnings are still shown)."));
    const QCommandLineOption historyOption(QStringLiteral("history"),
                                           QStringLiteral("The history database (default: $QUARLO_HISTORY, else "
                                                          "$XDG_DATA_HOME/quarlo/history.sqlite)."),
                                           QStringLiteral("FILE"));
    const QCommandLineOption ipv6Option({QStringLiteral("6"), QStringLiteral("ipv6")},
                                        QStringLiteral("Also check the IPv6 (AAAA) addresses of host names and mail servers "
                                                       "(at most 16 per host), under the target they belong to."));
    const QCommandLineOption allMxOption(QStringLiteral("all-mx"),
                                         QStringLiteral("Check every mail server of an e-mail address's domain, not only "
                                                        "those of the best MX preference"));
    const QCommandLineOption noHistoryOption(QStringLiteral("no-history"), QStringLiteral("Do not record this scan."));
    const QCommandLineOption noListTestOption(
        QStringLiteral("no-list-test"),
        QStringLiteral("Ask every list without first testing that it lists its test entry (127.0.0.2) and not "
                       "127.0.0.1: for lists you know to have no test entry. Their \"not listed\" answers then count."));
    const QCommandLineOption keyOption(
        QStringLiteral("key"),
        QStringLiteral("The access key NAME of key-based lists (a zone with {key} in it) for this run; repeat for "
                       "several. Also read from the environment variable QUARLO_KEY_<NAME>. Never written to a file."),
        QStringLiteral("NAME=VALUE"));
    const QCommandLineOption watchOption(QStringLiteral("watch"),
                                         QStringLiteral("Record the scan and print only the changes since the last one "
                                                        "(text, json, or prometheus for a node-exporter textfile); "
                                                        "monitoring-plugin exit status."));
    const QCommandLineOption watchNameOption(
        QStringLiteral("watch-name"),
        QStringLiteral("The watch this run belongs to: its changes are those since this watch's last run, whatever "
                       "other scans saw in between (default: the list files' full paths, else the targets)."),
        QStringLiteral("NAME"));
    const QCommandLineOption warningOption({QStringLiteral("w"), QStringLiteral("warning")},
                                           QStringLiteral("--watch: WARNING when a target is on N lists (default 1)."),
                                           QStringLiteral("N"));
    const QCommandLineOption criticalOption({QStringLiteral("c"), QStringLiteral("critical")},
                                            QStringLiteral("--watch: CRITICAL when a target is on N lists (default 2)."),
                                            QStringLiteral("N"));
    const QCommandLineOption notifyOption(QStringLiteral("notify-command"),
                                          QStringLiteral("--watch: run CMD (through /bin/sh) when something changed, "
                                                         "the changes as JSON on its standard input."),
                                          QStringLiteral("CMD"));
    const QCommandLineOption mailOption(QStringLiteral("mail-to"),
                                        QStringLiteral("--watch: mail the changes to ADDRESS through sendmail when "
                                                       "something changed."),
                                        QStringLiteral("ADDRESS"));
    const QCommandLineOption pruneOption(QStringLiteral("history-prune"),
                                         QStringLiteral("Forget history older than DAYS days (the latest outcome of "
                                                        "every target and list is kept), then exit."),
                                         QStringLiteral("DAYS"));
    const QCommandLineOption csvOption(QStringLiteral("history-csv"),
                                       QStringLiteral("Write TARGET's history as CSV (to --output or standard output), "
                                                      "then exit."),
                                       QStringLiteral("TARGET"));
    const QCommandLineOption serveOption(
        QStringLiteral("serve"),
        QStringLiteral("Run as a service answering HTTP on [ADDRESS:]PORT (only loopback without an ADDRESS; "
                       "0.0.0.0 for every one): /probe?target=T[&list=FILE|&watch=NAME], /metrics and /."),
        QStringLiteral("[ADDRESS:]PORT"));
    const QCommandLineOption everyOption(
        QStringLiteral("every"),
        QStringLiteral("--serve: run the --watch FILE before it every TIME (1m to 7d: 30m, 1h, 2d; default 1h)."),
        QStringLiteral("TIME"));
    const QCommandLineOption probeCacheOption(
        QStringLiteral("probe-cache"),
        QStringLiteral("--serve: answer a repeated probe of a target from its last scan for SECONDS (0 to 86400; default 60)."),
        QStringLiteral("SECONDS"));
    const QCommandLineOption probeScansOption(
        QStringLiteral("probe-scans"),
        QStringLiteral("--serve: probe scans running at once (1 to 64; default 4); more probes are answered 429."),
        QStringLiteral("N"));
    const QCommandLineOption probeRateOption(
        QStringLiteral("probe-rate"),
        QStringLiteral("--serve: probes one client may send a minute (1 to 100000; default 60); more are answered 429."),
        QStringLiteral("N"));
    parser.addOptions({serveOption, everyOption, probeCacheOption, probeScansOption, probeRateOption});
    parser.addOptions({fileOption, configOption, maxOption, dnsOption, timeoutOption, triesOption, formatOption, outputOption,
                       followLinksOption, quietOption, historyOption, noHistoryOption, noListTestOption, keyOption, watchOption, watchNameOption, warningOption,
                       criticalOption, notifyOption, mailOption, pruneOption, csvOption, ipv6Option, allMxOption});
    parser.addPositionalArgument(QStringLiteral("targets"), QStringLiteral("Addresses, host names, e-mail addresses or list files."),
                                 QStringLiteral("[targets...]"));
    if (!parser.parse(QCoreApplication::arguments())) return fail(parser.errorText());
    if (parser.isSet(QStringLiteral("help"))) {
        std::fputs(qPrintable(parser.helpText()), stdout);
        return kExitClean;
    }
    if (parser.isSet(QStringLiteral("version"))) {
        std::printf("quarlo-check %s\n", QUARLO_VERSION);
        return kExitClean;
    }

    CheckOptions options;
    options.historyPath = parser.value(historyOption);
    options.noHistory = parser.isSet(noHistoryOption);
    options.noListTest = parser.isSet(noListTestOption);
    for (const QString& given : parser.values(keyOption)) {
        const qsizetype equals = given.indexOf(QLatin1Char('='));
        const QString name = given.left(equals).trimmed();
        // The value is a secret: a message names the key, never shows it.
        if (equals <= 0 || name.size() > 64 || given.size() > 300 || given.mid(equals + 1).trimmed().isEmpty())
            return fail(QStringLiteral("--key wants NAME=VALUE, a name of at most 64 characters and a value"));
        options.accessKeys.append({name, given.mid(equals + 1)});
    }
    options.ipv6Lookups = parser.isSet(ipv6Option);
    options.allMailExchangers = parser.isSet(allMxOption);
    options.outputPath = parser.value(outputOption);
    options.outputFollowLinks = parser.isSet(followLinksOption);
    if (parser.isSet(pruneOption)) {
        int days = 0;
        if (!readBounded(parser.value(pruneOption), 0, 100000, &days))
            return fail(QStringLiteral("--history-prune wants a number of days from 0 to 100000"));
        return HistoryRun::Prune(options, days);
    }
    if (options.outputFollowLinks && !parser.isSet(outputOption))
        return fail(QStringLiteral("--output-follow-links goes with --output FILE"));
    // Found out now rather than after a long scan, and before any DNS query.
    if (!options.outputPath.isEmpty()) {
        QString why;
        if (!AtomicFileWriter::CheckWritable(options.outputPath, why, options.outputLinks())) {
            const bool link = !options.outputFollowLinks && QFileInfo(options.outputPath).isSymLink();
            return fail(QStringLiteral("cannot write --output %1: %2%3")
                            .arg(Printable(options.outputPath), Printable(why),
                                 link ? QStringLiteral(" (--output-follow-links replaces the file it points at.)")
                                      : QString()));
        }
    }
    if (parser.isSet(csvOption)) return HistoryRun::ExportCsv(options, parser.value(csvOption));
    options.watch = parser.isSet(watchOption);
    options.watchName = parser.value(watchNameOption);
    if (parser.isSet(warningOption) && !readBounded(parser.value(warningOption), 1, 1000, &options.warningLists))
        return fail(QStringLiteral("-w wants a number of lists from 1 to 1000"));
    if (parser.isSet(criticalOption) && !readBounded(parser.value(criticalOption), 1, 1000, &options.criticalLists))
        return fail(QStringLiteral("-c wants a number of lists from 1 to 1000"));
    options.notifyCommand = parser.value(notifyOption);
    options.mailTo = parser.value(mailOption).trimmed();
    if (!options.mailTo.isEmpty() && !ChangeNotifier::IsMailAddress(options.mailTo))
        return fail(QStringLiteral("--mail-to wants one mail address, not \"%1\"").arg(Excerpt(options.mailTo)));
    if (!options.watch && (parser.isSet(warningOption) || parser.isSet(criticalOption) || parser.isSet(notifyOption)
                           || parser.isSet(mailOption) || parser.isSet(watchNameOption)))
        return fail(QStringLiteral("-w, -c, --watch-name, --notify-command and --mail-to go with --watch"));
    if (parser.isSet(watchNameOption) && (options.watchName.trimmed().isEmpty() || options.watchName.size() > 200))
        return fail(QStringLiteral("--watch-name wants a name of 1 to 200 characters"));
    options.listFiles = parser.values(fileOption);
    for (const QString& argument : parser.positionalArguments()) {
        if (argument == QLatin1String("-")) options.readStdin = true;
        else if (namesRegularFile(argument) || isPath(argument)) options.listFiles << argument;
        else options.targets << argument;
    }
    if (parser.isSet(serveOption)) {
        // Probes bring the targets; the files are the watches'.
    } else if (parser.isSet(everyOption) || parser.isSet(probeCacheOption) || parser.isSet(probeScansOption)
               || parser.isSet(probeRateOption)) {
        return fail(QStringLiteral("--every, --probe-cache, --probe-scans and --probe-rate go with --serve"));
    } else if (options.targets.isEmpty() && options.listFiles.isEmpty() && !options.readStdin) {
        if (isatty(STDIN_FILENO)) return fail(QStringLiteral("no targets given (see --help)"));
        options.readStdin = true;
    }
    const QString format = parser.value(formatOption).toLower();
    if (format == QLatin1String("text")) options.format = CheckOptions::Format::Text;
    else if (format == QLatin1String("json")) options.format = CheckOptions::Format::Json;
    else if (format == QLatin1String("csv")) options.format = CheckOptions::Format::Csv;
    else if (format == QLatin1String("html")) options.format = CheckOptions::Format::Html;
    else if (format == QLatin1String("xlsx")) options.format = CheckOptions::Format::Xlsx;
    else if (format == QLatin1String("pdf")) options.format = CheckOptions::Format::Pdf;
    else if (format == QLatin1String("prometheus") && options.watch) options.prometheus = true;
    else if (format == QLatin1String("prometheus")) return fail(QStringLiteral("--format prometheus goes with --watch"));
    else return fail(QStringLiteral("unknown format \"%1\" (text, json, csv, html, xlsx or pdf; prometheus with --watch)").arg(Printable(parser.value(formatOption))));
    if (options.watch && (SnapshotOutput::IsGridFormat(options.format) || options.format == CheckOptions::Format::Csv))
        return fail(QStringLiteral("--watch writes text, json or prometheus"));
    if (SnapshotOutput::IsGridFormat(options.format) && options.outputPath.isEmpty())
        return fail(QStringLiteral("--format %1 needs --output FILE").arg(format));
    if (parser.isSet(maxOption)) {
        bool ok = false;
        options.maxQueries = parser.value(maxOption).toInt(&ok);
        if (!ok || options.maxQueries < 1) return fail(QStringLiteral("--max-queries wants a positive number"));
    }
    if (parser.isSet(timeoutOption) && !readBounded(parser.value(timeoutOption), 100, 60000, &options.tuning.maxTimeoutMs))
        return fail(QStringLiteral("--timeout wants milliseconds from 100 to 60000"));
    if (parser.isSet(triesOption) && !readBounded(parser.value(triesOption), 1, 10, &options.tuning.tries))
        return fail(QStringLiteral("--tries wants a number from 1 to 10"));
    options.configPath = parser.isSet(configOption)
                             ? parser.value(configOption)
                             : ConfigLocation::ForExecutable(QCoreApplication::applicationFilePath()).ReadPath();
    if (parser.isSet(dnsOption)) {
        // Checked here, as the servers are used everywhere else: an entry
        // that is no address would otherwise be dropped silently and the
        // scan sent somewhere the user did not choose.
        const QStringList servers = SplitDnsServers(parser.value(dnsOption));
        if (servers.isEmpty()) return fail(QStringLiteral("--dns wants at least one DNS server address"));
        for (const QString& server : servers) {
            if (DnsServerToAres(server).isEmpty())
                return fail(QStringLiteral("--dns wants IP addresses with an optional port (192.0.2.53, 192.0.2.53:5353, "
                                           "2001:db8::53, [2001:db8::53]:5353), not \"%1\"")
                                .arg(Excerpt(server)));
        }
        options.dnsServers = servers.join(QLatin1Char(','));
    }
    options.progress = !parser.isSet(quietOption) && isatty(STDERR_FILENO);
    if (parser.isSet(serveOption)) {
        ServeOptions serve;
        QString why;
        const std::optional<ServeArguments::Listen> listen = ServeArguments::ParseListen(parser.value(serveOption), &why);
        if (!listen) return fail(why);
        serve.listen = *listen;
        const auto watches = ServeArguments::PairWatches(QCoreApplication::arguments().mid(1), &why);
        if (!watches) return fail(why);
        serve.watches = *watches;
        QStringList watchFiles;
        QSet<QString> watched;
        for (const ServeArguments::Watch& watch : serve.watches) {
            watchFiles << watch.file;
            if (const QString problem = fileProblem(watch.file); !problem.isEmpty())
                return fail(QStringLiteral("cannot watch %1: %2").arg(Printable(watch.file), problem));
            // One file is one watch in the history: two schedules of it would
            // take each other's changes away.
            const QString real = QFileInfo(watch.file).canonicalFilePath();
            if (watched.contains(real)) return fail(QStringLiteral("%1 is watched twice").arg(Printable(watch.file)));
            watched.insert(real);
        }
        // A target on the command line of a service would never be checked.
        QStringList given = options.targets + options.listFiles;
        for (const QString& file : watchFiles) given.removeOne(file);
        if (!given.isEmpty() || options.readStdin || parser.isSet(fileOption))
            return fail(QStringLiteral("--serve takes its targets from /probe requests and --watch FILE, not \"%1\"")
                            .arg(Excerpt(given.isEmpty() ? QStringLiteral("-") : given.first())));
        if (parser.isSet(watchNameOption) && serve.watches.size() != 1)
            return fail(QStringLiteral("--watch-name names one watch; with --serve, give one --watch FILE with it"));
        if (!options.outputPath.isEmpty() || parser.isSet(formatOption))
            return fail(QStringLiteral("--serve answers over HTTP; --output and --format do not apply"));
        if (parser.isSet(probeCacheOption) && !readBounded(parser.value(probeCacheOption), 0, 86400, &serve.keepSeconds))
            return fail(QStringLiteral("--probe-cache wants seconds from 0 to 86400"));
        if (parser.isSet(probeScansOption) && !readBounded(parser.value(probeScansOption), 1, 64, &serve.maxScans))
            return fail(QStringLiteral("--probe-scans wants a number from 1 to 64"));
        if (parser.isSet(probeRateOption) && !readBounded(parser.value(probeRateOption), 1, 100000, &serve.perMinute))
            return fail(QStringLiteral("--probe-rate wants a number from 1 to 100000"));
        if (const QString problem = configurationProblem(options.configPath); !problem.isEmpty()) return fail(problem);
        options.progress = false;
        serve.check = options;
        RegFileBackend storedRegistry(DefaultRegistryDirectory());
        VolatileRegistryBackend registryBackend(&storedRegistry);
        Registry registry(registryBackend);
        ServeMode server(std::move(serve), registry);
        if (!server.start(&why)) return fail(why);
        warn(QStringLiteral("serving on %1").arg(server.url()));
        return app.exec();
    }

    // Gather the targets in order, each once; unreadable files end the run.
    TargetCollector collector;
    const QString tooMany = QStringLiteral("more than %1 targets; split them over several runs").arg(kMaxTargets);
    for (const QString& target : options.targets)
        if (!collector.addArgument(target)) return fail(tooMany);
    // Every source that gave no target at all, and why: a run without
    // targets is refused, as a list that emptied must not pass as clean.
    QStringList emptySources;
    auto takeEntry = [&](const QString& text, bool cut) { return collector.addEntry(text, cut); };
    for (const QString& file : options.listFiles) {
        const QString name = Printable(file);
        QString description = fileProblem(file);
        ListFileReader::Kind kind = ListFileReader::Kind::Text;
        collector.resetEntries();
        const ListFileReader::Status status =
            description.isEmpty() ? ListFileReader::Read(file, takeEntry, &kind, &description) : ListFileReader::Status::Failed;
        if (status == ListFileReader::Status::Failed)
            return fail(QStringLiteral("cannot load Address List from %1: %2").arg(name, description));
        if (status == ListFileReader::Status::Stopped) return fail(tooMany);
        if (collector.entries() == 0) emptySources << name + QLatin1Char(' ') + ListFileReader::WhyEmpty(file, kind);
    }
    if (options.readStdin) {
        collector.resetEntries();
        qint64 bytes = 0;
        LineReader in(STDIN_FILENO, kMaxLineBytes, kMaxInputBytes);
        QByteArray line;
        for (;;) {
            const LineReader::Result result = in.next(&line);
            if (result == LineReader::Result::End) break;
            if (result == LineReader::Result::TooMuch)
                return fail(QStringLiteral("standard input holds more than 1 GiB; split it over several runs"));
            if (result == LineReader::Result::Error)
                return fail(QStringLiteral("cannot read standard input: ") + in.errorString());
            bytes += line.size() + 1;
            if (!takeEntry(QString::fromUtf8(line), result == LineReader::Result::Overlong)) return fail(tooMany);
        }
        if (collector.entries() == 0)
            emptySources << (bytes == 0 ? QStringLiteral("standard input is empty")
                                        : QStringLiteral("standard input holds only blank lines and comments"));
    }
    if (collector.empty()) return fail(QStringLiteral("no targets found: ") + emptySources.join(QStringLiteral("; ")));
    for (const QString& source : emptySources) warn(source + QStringLiteral("; checking the other targets"));

    if (const QString problem = configurationProblem(options.configPath); !problem.isEmpty()) return fail(problem);
    RegFileBackend storedRegistry(DefaultRegistryDirectory());
    // Options given on the command line apply to this run only.
    VolatileRegistryBackend registryBackend(&storedRegistry);
    Registry registry(registryBackend);
    Session session(registry, {.configPath = options.configPath, .dnsServers = options.dnsServers, .tuning = options.tuning});
    Settings& settings = session.Settings();
    if (!session.LastError().isEmpty())
        return fail(session.LastError().replace(QStringLiteral("\r\n\r\n"), QStringLiteral(": ")));
    int enabled = 0;
    for (const ServerPtr& server : settings.BlacklistServers()) enabled += server->Enabled() ? 1 : 0;
    if (enabled == 0) return fail(QStringLiteral("%1 holds no enabled blacklist server").arg(options.configPath));
    if (options.maxQueries > 0) settings.setMaxQueries(options.maxQueries);
    // For this run only: the registry under it is volatile.
    if (options.noListTest) settings.setCheckListsBeforeScanning(false);
    for (const auto& [name, value] : options.accessKeys) settings.setRunAccessKey(name, value);

    Addresslist& list = session.Addresslist();
    list.setResolverOptions({.ipv6 = options.ipv6Lookups, .allMailExchangers = options.allMailExchangers});
    CheckRun run(list, options.progress);

    QObject::connect(&run, &CheckRun::finished, &app, [&] {
        CheckReport report;
        report.started = list.Summary().started;
        report.dnsServers = list.DNSServerList();
        report.zoneTests = list.ZoneTests();
        report.targets = run.targets();
        // Once per scan, whatever the format: these explain many results at once.
        auto scanWarnings = [&] {
            const ScanSummary& summary = list.Summary();
            if (summary.NoDnsAnswered())
                warn(QStringLiteral("No DNS server answered; check your network or the --dns option / QUARLO_DNS_SERVERS"));
            if (!summary.refusingZones.isEmpty())
                warn(QStringLiteral("Your DNS resolver is refused by %1; use your own resolver").arg(refusalPhrase(summary.refusingZones)));
            if (summary.abandoned > 0)
                warn(StallWarning(summary));
        };
        if (options.watch) {
            const int status = HistoryRun::FinishWatch(list, settings, options, report.targets);
            scanWarnings();
            QCoreApplication::exit(status);
            return;
        }
        // Written beside the report; waited for when this ends.
        const auto recording = HistoryRun::Record(list, settings, options);
        if (SnapshotOutput::IsGridFormat(options.format)) {
            QString error;
            if (!SnapshotOutput::Write(report.targets, list, settings, options.format, options.outputPath, options.listFiles,
                                      options.outputLinks(), &error)) {
                warn(QStringLiteral("cannot write %1: %2").arg(Printable(options.outputPath), Printable(error)));
                QCoreApplication::exit(kExitUsage);
                return;
            }
        } else if (!options.outputPath.isEmpty()) {
            QString text;
            QTextStream out(&text);
            ReportWriter(settings.BlacklistServers(), report).write(out, options.format);
            QString error;
            if (!AtomicFileWriter::Replace(options.outputPath, text.toUtf8(), error, options.outputLinks())) {
                warn(QStringLiteral("cannot write %1: %2").arg(Printable(options.outputPath), Printable(error)));
                QCoreApplication::exit(kExitUsage);
                return;
            }
        } else {
            QTextStream out(stdout);
            ReportWriter(settings.BlacklistServers(), report).write(out, options.format);
        }

        scanWarnings();
        QCoreApplication::exit(ExitStatusFor(report.targets));
    }, Qt::QueuedConnection);
    run.start(collector.take());
    return app.exec();
}
