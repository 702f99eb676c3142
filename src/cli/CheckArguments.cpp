#include "cli/CheckArguments.h"

#include "cli/ChangeNotifier.h"
#include "cli/CheckMessages.h"
#include "cli/CheckOptionTable.h"
#include "cli/FileProblem.h"
#include "cli/PrintableText.h"
#include "cli/SnapshotOutput.h"
#include "common/AtomicFileWriter.h"
#include "common/ConfigLocation.h"
#include "common/IpFunctions.h"
#include "common/IpRange.h"
#include "scan/DnsServers.h"

#include <QCommandLineParser>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <sys/stat.h>

namespace quarlo {

namespace {

using Id = CheckOptionTable::Id;
using Mode = CheckOptionTable::Mode;
using Action = CheckCommand::Action;

// A watch run ends 3 (UNKNOWN) when it cannot start; a service's --watch
// names files to watch, and the service is no monitoring plugin.
int usageExitFor(const QStringList& arguments)
{
    bool serving = false;
    bool watching = false;
    for (const QString& argument : arguments.mid(1)) {
        serving = serving || argument.startsWith(QLatin1String("--serve"));
        watching = watching || argument == QLatin1String("--watch");
    }
    return watching && !serving ? CheckMessages::kExitWatchUsage : CheckMessages::kExitUsage;
}

// An argument is a list file when it names an existing regular file, and
// only then: "example.org" or "servers.blacklist.example" stay targets
// unless a file of that name is there.
bool namesRegularFile(const QString& argument)
{
    struct stat status {};
    return !argument.isEmpty() && ::stat(QFile::encodeName(argument).constData(), &status) == 0
        && S_ISREG(status.st_mode);
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

// Reads the parsed options in the order their checks are reported: each
// step returns why the command line is refused, or nothing.
class Reader {
public:
    Reader(const QCommandLineParser& parser, CheckCommand& command, const CheckEnvironment& environment)
        : parser_(parser), command_(command), options_(command.options), environment_(environment)
    {
    }

    bool isSet(Id id) const { return parser_.isSet(CheckOptionTable::Name(id)); }
    QString value(Id id) const { return parser_.value(CheckOptionTable::Name(id)); }
    bool anySet(Mode mode) const
    {
        for (const CheckOptionTable::Option& option : CheckOptionTable::Options())
            if (option.mode == mode && isSet(option.id)) return true;
        return false;
    }
    // A bounded number into *target, when the option is given.
    bool bounded(Id id, int low, int high, int* target) const
    {
        return !isSet(id) || readBounded(value(id), low, high, target);
    }

    QString readHistoryAndKeys();
    QString readOutput();
    QString readWatch();
    QString readTargets();
    QString readFormat();
    QString readDns();
    QString readServe(const QStringList& arguments);

private:
    const QCommandLineParser& parser_;
    CheckCommand& command_;
    CheckOptions& options_;
    const CheckEnvironment& environment_;
};

QString Reader::readHistoryAndKeys()
{
    options_.historyPath = value(Id::History);
    options_.noHistory = isSet(Id::NoHistory);
    options_.noListTest = isSet(Id::NoListTest);
    for (const QString& given : parser_.values(CheckOptionTable::Name(Id::Key))) {
        const qsizetype equals = given.indexOf(QLatin1Char('='));
        const QString name = given.left(equals).trimmed();
        // The value is a secret: a message names the key, never shows it.
        if (equals <= 0 || name.size() > 64 || given.size() > 300 || given.mid(equals + 1).trimmed().isEmpty())
            return QStringLiteral("--key wants NAME=VALUE, a name of at most 64 characters and a value");
        options_.accessKeys.append({name, given.mid(equals + 1)});
    }
    options_.ipv6Lookups = isSet(Id::Ipv6);
    options_.allMailExchangers = isSet(Id::AllMx);
    options_.outputPath = value(Id::Output);
    options_.outputFollowLinks = isSet(Id::OutputFollowLinks);
    return QString();
}

QString Reader::readOutput()
{
    if (options_.outputFollowLinks && !isSet(Id::Output))
        return QStringLiteral("--output-follow-links goes with --output FILE");
    // Found out now rather than after a long scan, and before any DNS query.
    if (options_.outputPath.isEmpty()) return QString();
    QString why;
    if (AtomicFileWriter::CheckWritable(options_.outputPath, why, options_.outputLinks())) return QString();
    const bool link = !options_.outputFollowLinks && QFileInfo(options_.outputPath).isSymLink();
    return QStringLiteral("cannot write --output %1: %2%3")
        .arg(Printable(options_.outputPath), Printable(why),
             link ? QStringLiteral(" (--output-follow-links replaces the file it points at.)") : QString());
}

QString Reader::readWatch()
{
    options_.watch = isSet(Id::Watch);
    options_.watchName = value(Id::WatchName);
    if (!bounded(Id::Warning, 1, 1000, &options_.warningLists))
        return QStringLiteral("-w wants a number of lists from 1 to 1000");
    if (!bounded(Id::Critical, 1, 1000, &options_.criticalLists))
        return QStringLiteral("-c wants a number of lists from 1 to 1000");
    options_.notifyCommand = value(Id::NotifyCommand);
    options_.mailTo = value(Id::MailTo).trimmed();
    if (!options_.mailTo.isEmpty() && !ChangeNotifier::IsMailAddress(options_.mailTo))
        return QStringLiteral("--mail-to wants one mail address, not \"%1\"").arg(Excerpt(options_.mailTo));
    if (!options_.watch && anySet(Mode::Watch))
        return QStringLiteral("-w, -c, --watch-name, --notify-command and --mail-to go with --watch");
    if (isSet(Id::WatchName) && (options_.watchName.trimmed().isEmpty() || options_.watchName.size() > 200))
        return QStringLiteral("--watch-name wants a name of 1 to 200 characters");
    return QString();
}

QString Reader::readTargets()
{
    options_.listFiles = parser_.values(CheckOptionTable::Name(Id::File));
    for (const QString& argument : parser_.positionalArguments()) {
        if (argument == QLatin1String("-"))
            options_.readStdin = true;
        else if (namesRegularFile(argument) || isPath(argument))
            options_.listFiles << argument;
        else
            options_.targets << argument;
    }
    if (isSet(Id::Serve)) return QString(); // probes bring the targets; the files are the watches'
    if (anySet(Mode::Serve))
        return QStringLiteral("--every, --probe-cache, --probe-scans and --probe-rate go with --serve");
    if (options_.targets.isEmpty() && options_.listFiles.isEmpty() && !options_.readStdin) {
        if (environment_.stdinIsTerminal) return QStringLiteral("no targets given (see --help)");
        options_.readStdin = true;
    }
    return QString();
}

QString Reader::readFormat()
{
    const QString format = value(Id::Format).toLower();
    if (const std::optional<CheckOptions::Format> known = CheckOptionTable::FormatNamed(format))
        options_.format = *known;
    else if (format == QLatin1String("prometheus") && options_.watch)
        options_.prometheus = true;
    else if (format == QLatin1String("prometheus"))
        return QStringLiteral("--format prometheus goes with --watch");
    else
        return QStringLiteral("unknown format \"%1\" (text, json, csv, html, xlsx or pdf; prometheus with --watch)")
            .arg(Printable(value(Id::Format)));
    if (options_.watch
        && (SnapshotOutput::IsGridFormat(options_.format) || options_.format == CheckOptions::Format::Csv))
        return QStringLiteral("--watch writes text, json or prometheus");
    if (SnapshotOutput::IsGridFormat(options_.format) && options_.outputPath.isEmpty())
        return QStringLiteral("--format %1 needs --output FILE").arg(format);
    if (isSet(Id::MaxQueries)) {
        bool ok = false;
        options_.maxQueries = value(Id::MaxQueries).toInt(&ok);
        if (!ok || options_.maxQueries < 1) return QStringLiteral("--max-queries wants a positive number");
    }
    if (!bounded(Id::Timeout, 100, 60000, &options_.tuning.maxTimeoutMs))
        return QStringLiteral("--timeout wants milliseconds from 100 to 60000");
    if (!bounded(Id::Tries, 1, 10, &options_.tuning.tries))
        return QStringLiteral("--tries wants a number from 1 to 10");
    return QString();
}

QString Reader::readDns()
{
    options_.configPath =
        isSet(Id::Config) ? value(Id::Config) : ConfigLocation::ForExecutable(environment_.executable).ReadPath();
    if (isSet(Id::Dns)) {
        // Checked here, as the servers are used everywhere else: an entry
        // that is no address would otherwise be dropped silently and the
        // scan sent somewhere the user did not choose.
        const QStringList servers = SplitDnsServers(value(Id::Dns));
        if (servers.isEmpty()) return QStringLiteral("--dns wants at least one DNS server address");
        for (const QString& server : servers) {
            if (DnsServerToAres(server).isEmpty())
                return QStringLiteral("--dns wants IP addresses with an optional port (192.0.2.53, 192.0.2.53:5353, "
                                      "2001:db8::53, [2001:db8::53]:5353), not \"%1\"")
                    .arg(Excerpt(server));
        }
        options_.dnsServers = servers.join(QLatin1Char(','));
    }
    options_.progress = !isSet(Id::Quiet) && environment_.stderrIsTerminal;
    return QString();
}

QString Reader::readServe(const QStringList& arguments)
{
    ServeOptions& serve = command_.serve;
    QString why;
    const std::optional<ServeArguments::Listen> listen = ServeArguments::ParseListen(value(Id::Serve), &why);
    if (!listen) return why;
    serve.listen = *listen;
    const auto watches = ServeArguments::PairWatches(arguments.mid(1), &why);
    if (!watches) return why;
    serve.watches = *watches;
    QStringList watchFiles;
    QSet<QString> watched;
    for (const ServeArguments::Watch& watch : serve.watches) {
        watchFiles << watch.file;
        if (const QString problem = FileProblem(watch.file); !problem.isEmpty())
            return QStringLiteral("cannot watch %1: %2").arg(Printable(watch.file), problem);
        // One file is one watch in the history: two schedules of it would
        // take each other's changes away.
        const QString real = QFileInfo(watch.file).canonicalFilePath();
        if (watched.contains(real)) return QStringLiteral("%1 is watched twice").arg(Printable(watch.file));
        watched.insert(real);
    }
    // A target on the command line of a service would never be checked.
    QStringList given = options_.targets + options_.listFiles;
    for (const QString& file : watchFiles) given.removeOne(file);
    if (!given.isEmpty() || options_.readStdin || isSet(Id::File))
        return QStringLiteral("--serve takes its targets from /probe requests and --watch FILE, not \"%1\"")
            .arg(Excerpt(given.isEmpty() ? QStringLiteral("-") : given.first()));
    if (isSet(Id::WatchName) && serve.watches.size() != 1)
        return QStringLiteral("--watch-name names one watch; with --serve, give one --watch FILE with it");
    if (!options_.outputPath.isEmpty() || isSet(Id::Format))
        return QStringLiteral("--serve answers over HTTP; --output and --format do not apply");
    if (!bounded(Id::ProbeCache, 0, 86400, &serve.keepSeconds))
        return QStringLiteral("--probe-cache wants seconds from 0 to 86400");
    if (!bounded(Id::ProbeScans, 1, 64, &serve.maxScans))
        return QStringLiteral("--probe-scans wants a number from 1 to 64");
    if (!bounded(Id::ProbeRate, 1, 100000, &serve.perMinute))
        return QStringLiteral("--probe-rate wants a number from 1 to 100000");
    // The service's scans show no progress line.
    options_.progress = false;
    serve.check = options_;
    return QString();
}

CheckCommand& failed(CheckCommand& command, const QString& error)
{
    command.action = Action::Fail;
    command.error = error;
    return command;
}

} // namespace

CheckCommand CheckArguments::Parse(const QStringList& arguments, const CheckEnvironment& environment)
{
    CheckCommand command;
    command.usageExit = usageExitFor(arguments);
    QCommandLineParser parser;
    CheckOptionTable::Describe(parser);
    if (!parser.parse(arguments)) return failed(command, parser.errorText());
    Reader read(parser, command, environment);
    command.verbose = read.isSet(Id::Verbose);
    if (parser.isSet(QStringLiteral("help"))) {
        command.action = Action::Help;
        command.text = parser.helpText();
        return command;
    }
    if (parser.isSet(QStringLiteral("version"))) {
        command.action = Action::Version;
        return command;
    }
    if (read.isSet(Id::BashCompletion)) {
        command.action = Action::BashCompletion;
        return command;
    }
    if (QString error = read.readHistoryAndKeys(); !error.isEmpty()) return failed(command, error);
    if (read.isSet(Id::HistoryPrune)) {
        if (!readBounded(read.value(Id::HistoryPrune), 0, 100000, &command.pruneDays))
            return failed(command, QStringLiteral("--history-prune wants a number of days from 0 to 100000"));
        command.action = Action::HistoryPrune;
        return command;
    }
    if (QString error = read.readOutput(); !error.isEmpty()) return failed(command, error);
    if (read.isSet(Id::HistoryCsv)) {
        command.action = Action::HistoryCsv;
        command.historyTarget = read.value(Id::HistoryCsv);
        return command;
    }
    for (QString (Reader::*step)() : {&Reader::readWatch, &Reader::readTargets, &Reader::readFormat, &Reader::readDns})
        if (QString error = (read.*step)(); !error.isEmpty()) return failed(command, error);
    if (!read.isSet(Id::Serve)) {
        command.action = Action::Check;
        return command;
    }
    if (QString error = read.readServe(arguments); !error.isEmpty()) return failed(command, error);
    command.action = Action::Serve;
    return command;
}

} // namespace quarlo
