// quarlo-check: checks addresses against the configured DNS blacklists from
// the command line, on the same engine as the desktop program.
#include "cli/CheckOptions.h"
#include "cli/CheckRun.h"
#include "cli/ReportWriter.h"
#include "common/RegFileBackend.h"
#include "common/Registry.h"
#include "common/RegistryLocation.h"
#include "common/VolatileRegistryBackend.h"
#include "model/Settings.h"
#include "scan/Addresslist.h"
#include "scan/AresDirectDns.h"
#include "scan/AresDnsLookup.h"
#include "scan/DnsServers.h"
#include "storage/AddressListFile.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QRegularExpression>
#include <QTextStream>
#include <cstdio>
#include <unistd.h>

using namespace quarlo;

namespace {

constexpr int kExitClean = 0;
constexpr int kExitListed = 1;
constexpr int kExitUsage = 2;

int fail(const QString& message)
{
    QTextStream(stderr) << "quarlo-check: " << message << '\n';
    return kExitUsage;
}

bool isListFile(const QString& argument) { return argument.contains(QLatin1String(".BlackList"), Qt::CaseInsensitive); }

// Targets whose text would break the query tags or the DNS names.
QString rejectReason(const QString& target)
{
    if (target.contains(QLatin1Char(':')))
        return QStringLiteral("contains \":\" (IPv6 addresses and ports cannot be checked)");
    for (QChar c : target)
        if (c.unicode() < 0x20 || c.unicode() == 0x7f) return QStringLiteral("contains control characters");
    if (target.size() > 320) return QStringLiteral("is too long");
    return QString();
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("quarlo-check"));
    QCoreApplication::setApplicationVersion(QStringLiteral(QUARLO_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Checks IP addresses, host names and e-mail addresses against DNS blacklists.\n"
        "Targets come from the arguments, from .BlackList files (any argument containing\n"
        "\".BlackList\", or --file) and from standard input (\"-\", or when no target is given\n"
        "and standard input is not a terminal), one per line.\n"
        "Exit status: 0 nothing listed, 1 an address is listed, 2 bad usage or unreadable file."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption fileOption({QStringLiteral("f"), QStringLiteral("file")},
                                        QStringLiteral("Read targets from a .BlackList address list."),
                                        QStringLiteral("FILE"));
    const QCommandLineOption configOption(QStringLiteral("config"),
                                          QStringLiteral("Blacklist server configuration (default: quarlo.cfg beside this program)."),
                                          QStringLiteral("FILE"));
    const QCommandLineOption maxOption(QStringLiteral("max-queries"),
                                       QStringLiteral("Queries kept in flight at once (10 to 800; default: the stored option)."),
                                       QStringLiteral("N"));
    const QCommandLineOption dnsOption(QStringLiteral("dns"),
                                       QStringLiteral("DNS servers to ask, comma-separated host or host:port."),
                                       QStringLiteral("SERVERS"));
    const QCommandLineOption formatOption(QStringLiteral("format"), QStringLiteral("Output: text, json or csv."),
                                          QStringLiteral("FORMAT"), QStringLiteral("text"));
    const QCommandLineOption quietOption({QStringLiteral("q"), QStringLiteral("quiet")},
                                         QStringLiteral("No progress line."));
    parser.addOptions({fileOption, configOption, maxOption, dnsOption, formatOption, quietOption});
    parser.addPositionalArgument(QStringLiteral("targets"), QStringLiteral("Addresses, host names, e-mail addresses or .BlackList files."),
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
    options.listFiles = parser.values(fileOption);
    for (const QString& argument : parser.positionalArguments()) {
        if (argument == QLatin1String("-")) options.readStdin = true;
        else if (isListFile(argument)) options.listFiles << argument;
        else options.targets << argument;
    }
    if (options.targets.isEmpty() && options.listFiles.isEmpty() && !options.readStdin) {
        if (isatty(STDIN_FILENO)) return fail(QStringLiteral("no targets given (see --help)"));
        options.readStdin = true;
    }
    const QString format = parser.value(formatOption).toLower();
    if (format == QLatin1String("text")) options.format = CheckOptions::Format::Text;
    else if (format == QLatin1String("json")) options.format = CheckOptions::Format::Json;
    else if (format == QLatin1String("csv")) options.format = CheckOptions::Format::Csv;
    else return fail(QStringLiteral("unknown format \"%1\" (text, json or csv)").arg(parser.value(formatOption)));
    if (parser.isSet(maxOption)) {
        bool ok = false;
        options.maxQueries = parser.value(maxOption).toInt(&ok);
        if (!ok || options.maxQueries < 1) return fail(QStringLiteral("--max-queries wants a positive number"));
    }
    options.configPath = parser.isSet(configOption) ? parser.value(configOption)
                                                    : QCoreApplication::applicationDirPath() + QStringLiteral("/quarlo.cfg");
    options.dnsServers = parser.value(dnsOption);
    options.progress = !parser.isSet(quietOption) && isatty(STDERR_FILENO);

    // Gather the targets in order; unreadable files end the run.
    QStringList targets;
    auto take = [&](const QString& raw) {
        const QString target = raw.trimmed();
        if (target.isEmpty() || target.startsWith(QLatin1Char('#'))) return;
        if (const QString why = rejectReason(target); !why.isEmpty()) {
            QTextStream(stderr) << "quarlo-check: skipping \"" << QString(target).replace(QRegularExpression("[\\x00-\\x1f]"), "?")
                                << "\": it " << why << '\n';
            return;
        }
        targets << target;
    };
    for (const QString& target : options.targets) take(target);
    for (const QString& file : options.listFiles) {
        QStringList fromFile;
        QString description;
        if (!AddressListFile::Read(file, fromFile, description))
            return fail(QStringLiteral("cannot load Address List from %1: %2").arg(file, description));
        for (const QString& target : fromFile) take(target);
    }
    if (options.readStdin) {
        QFile in;
        if (!in.open(stdin, QIODevice::ReadOnly)) return fail(QStringLiteral("cannot read standard input"));
        while (!in.atEnd()) take(QString::fromUtf8(in.readLine()));
    }

    if (!QFile::exists(options.configPath))
        return fail(QStringLiteral("no blacklist server configuration at %1").arg(options.configPath));
    RegFileBackend storedRegistry(DefaultRegistryDirectory());
    // Options given on the command line apply to this run only.
    VolatileRegistryBackend registryBackend(&storedRegistry);
    Registry registry(registryBackend);
    Settings settings(registry, options.configPath);
    if (!settings.BlacklistServers().LastError().isEmpty())
        return fail(settings.BlacklistServers().LastError().replace(QStringLiteral("\r\n\r\n"), QStringLiteral(": ")));
    int enabled = 0;
    for (const ServerPtr& server : settings.BlacklistServers()) enabled += server->Enabled() ? 1 : 0;
    if (enabled == 0) return fail(QStringLiteral("%1 holds no enabled blacklist server").arg(options.configPath));
    if (options.maxQueries > 0) settings.setMaxQueries(options.maxQueries);

    const QStringList dnsServers = options.dnsServers.isEmpty()
                                       ? ConfiguredDnsServers(settings.RetrieveOption(QStringLiteral("DNS Servers")))
                                       : SplitDnsServers(options.dnsServers);
    AresDnsLookup lookup(dnsServers);
    AresDirectDns mxDns(dnsServers);
    Addresslist list(settings, lookup, std::make_unique<AresDirectDns>(dnsServers));
    CheckRun run(list, mxDns, options.progress);

    int status = kExitClean;
    QObject::connect(&run, &CheckRun::finished, &app, [&] {
        std::vector<AddressPtr> addresses;
        for (const AddressPtr& address : list) {
            addresses.push_back(address);
            if (address->Blacklisted()) status = kExitListed;
        }
        QTextStream out(stdout);
        ReportWriter(settings.BlacklistServers(), enabled).write(out, addresses, options.format);
        QCoreApplication::exit(status);
    }, Qt::QueuedConnection);
    run.start(targets);
    return app.exec();
}
