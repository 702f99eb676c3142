#include "cli/CheckOptionTable.h"

#include "scan/DnsTuning.h"

#include <QCommandLineParser>
#include <utility>

namespace quarlo {

namespace {

using Id = CheckOptionTable::Id;
using Mode = CheckOptionTable::Mode;
using Value = CheckOptionTable::Value;
using Option = CheckOptionTable::Option;

QStringList names(std::initializer_list<const char*> given)
{
    QStringList list;
    for (const char* name : given) list << QString::fromLatin1(name);
    return list;
}

std::vector<Option> makeTable()
{
    const DnsTuning tuning;
    return {
        {Id::Serve, names({"serve"}), QStringLiteral("[ADDRESS:]PORT"),
         QStringLiteral("Run as a service answering HTTP on [ADDRESS:]PORT (only loopback without an ADDRESS; "
                        "0.0.0.0 for every one): /probe?target=T[&list=FILE|&watch=NAME], /metrics and /.")},
        {Id::Every, names({"every"}), QStringLiteral("TIME"),
         QStringLiteral("--serve: run the --watch FILE before it every TIME (1m to 7d: 30m, 1h, 2d; default 1h)."),
         Mode::Serve},
        {Id::ProbeCache, names({"probe-cache"}), QStringLiteral("SECONDS"),
         QStringLiteral(
             "--serve: answer a repeated probe of a target from its last scan for SECONDS (0 to 86400; default 60)."),
         Mode::Serve},
        {Id::ProbeScans, names({"probe-scans"}), QStringLiteral("N"),
         QStringLiteral("--serve: probe scans running at once (1 to 64; default 4); more probes are answered 429."),
         Mode::Serve},
        {Id::ProbeRate, names({"probe-rate"}), QStringLiteral("N"),
         QStringLiteral(
             "--serve: probes one client may send a minute (1 to 100000; default 60); more are answered 429."),
         Mode::Serve},
        {Id::File, names({"f", "file"}), QStringLiteral("FILE"),
         QStringLiteral("Read targets from FILE: a .BlackList address list or text, one target per line."), Mode::Any,
         Value::Files},
        {Id::Config, names({"config"}), QStringLiteral("FILE"),
         QStringLiteral("Blacklist server configuration (default: quarlo.cfg beside this program, else "
                        "the user's, the system's or the installed copy)."),
         Mode::Any, Value::Files},
        {Id::MaxQueries, names({"max-queries"}), QStringLiteral("N"),
         QStringLiteral("Queries kept in flight at once (10 to 800; default: the stored option).")},
        {Id::Dns, names({"dns"}), QStringLiteral("SERVERS"),
         QStringLiteral("DNS servers to ask, comma-separated IP addresses with an optional port "
                        "(192.0.2.53:5353, [2001:db8::53]:5353).")},
        {Id::Timeout, names({"timeout"}), QStringLiteral("MS"),
         QStringLiteral("Longest wait for one try of a DNS query, in milliseconds (100 to 60000; default %1).")
             .arg(tuning.maxTimeoutMs)},
        {Id::Tries, names({"tries"}), QStringLiteral("N"),
         QStringLiteral("Tries per DNS query, the first one included (1 to 10; default %1).").arg(tuning.tries)},
        {Id::Format, names({"format"}), QStringLiteral("FORMAT"),
         QStringLiteral("Output: text, json or csv; html, xlsx or pdf write the results grid to --output."), Mode::Any,
         Value::Formats, QStringLiteral("text")},
        {Id::Output, names({"o", "output"}), QStringLiteral("FILE"),
         QStringLiteral("Write the output to FILE instead of standard output (replaced only when complete; "
                        "a symbolic link there is refused, see --output-follow-links)."),
         Mode::Any, Value::Files},
        {Id::OutputFollowLinks, names({"output-follow-links"}), QString(),
         QStringLiteral("When --output FILE is a symbolic link, replace the file it points at (by default a link is "
                        "refused: one placed by another user in a shared folder such as /tmp would choose the file).")},
        {Id::Quiet, names({"q", "quiet"}), QString(), QStringLiteral("No progress line (warnings are still shown).")},
        {Id::Verbose, names({"verbose"}), QString(),
         QStringLiteral("Trace DNS queries, scans, the history and exports on standard error (the categories "
                        "quarlo.*.debug; QT_LOGGING_RULES, when set, decides instead).")},
        {Id::History, names({"history"}), QStringLiteral("FILE"),
         QStringLiteral("The history database (default: $QUARLO_HISTORY, else $XDG_DATA_HOME/quarlo/history.sqlite)."),
         Mode::Any, Value::Files},
        {Id::NoHistory, names({"no-history"}), QString(), QStringLiteral("Do not record this scan.")},
        {Id::NoListTest, names({"no-list-test"}), QString(),
         QStringLiteral(
             "Ask every list without first testing that it lists its test entry (127.0.0.2) and not "
             "127.0.0.1: for lists you know to have no test entry. Their \"not listed\" answers then count.")},
        {Id::Key, names({"key"}), QStringLiteral("NAME=VALUE"),
         QStringLiteral(
             "The access key NAME of key-based lists (a zone with {key} in it) for this run; repeat for "
             "several. Also read from the environment variable QUARLO_KEY_<NAME>. Never written to a file.")},
        {Id::Watch, names({"watch"}), QString(),
         QStringLiteral("Record the scan and print only the changes since the last one (text, json, or prometheus for "
                        "a node-exporter textfile); monitoring-plugin exit status.")},
        {Id::WatchName, names({"watch-name"}), QStringLiteral("NAME"),
         QStringLiteral("The watch this run belongs to: its changes are those since this watch's last run, whatever "
                        "other scans saw in between (default: the list files' full paths, else the targets)."),
         Mode::Watch},
        {Id::Warning, names({"w", "warning"}), QStringLiteral("N"),
         QStringLiteral("--watch: WARNING when a target is on N lists (default 1)."), Mode::Watch},
        {Id::Critical, names({"c", "critical"}), QStringLiteral("N"),
         QStringLiteral("--watch: CRITICAL when a target is on N lists (default 2)."), Mode::Watch},
        {Id::NotifyCommand, names({"notify-command"}), QStringLiteral("CMD"),
         QStringLiteral("--watch: run CMD (through /bin/sh) when something changed, the changes as JSON on its "
                        "standard input."),
         Mode::Watch, Value::Commands},
        {Id::MailTo, names({"mail-to"}), QStringLiteral("ADDRESS"),
         QStringLiteral("--watch: mail the changes to ADDRESS through sendmail when something changed."), Mode::Watch},
        {Id::HistoryPrune, names({"history-prune"}), QStringLiteral("DAYS"),
         QStringLiteral("Forget history older than DAYS days (the latest outcome of every target and list is kept), "
                        "then exit."),
         Mode::History},
        {Id::HistoryCsv, names({"history-csv"}), QStringLiteral("TARGET"),
         QStringLiteral("Write TARGET's history as CSV (to --output or standard output), then exit."), Mode::History},
        {Id::Ipv6, names({"6", "ipv6"}), QString(),
         QStringLiteral("Also check the IPv6 (AAAA) addresses of host names and mail servers (at most 16 per host), "
                        "under the target they belong to.")},
        {Id::AllMx, names({"all-mx"}), QString(),
         QStringLiteral("Check every mail server of an e-mail address's domain, not only those of the best MX "
                        "preference")},
        {Id::BashCompletion, names({"bash-completion"}), QString(),
         QStringLiteral("Print the bash completion script for these options."), Mode::Any, Value::None, QString(),
         true},
    };
}

constexpr std::pair<const char*, CheckOptions::Format> kFormats[] = {
    {"text", CheckOptions::Format::Text}, {"json", CheckOptions::Format::Json}, {"csv", CheckOptions::Format::Csv},
    {"html", CheckOptions::Format::Html}, {"xlsx", CheckOptions::Format::Xlsx}, {"pdf", CheckOptions::Format::Pdf},
};

// "-f" or "--file", as typed.
QString typed(const QString& name)
{
    return (name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + name;
}

// Words joined by spaces, a new line (indented by indent) before one would
// pass the width.
QString wrapped(const QStringList& words, qsizetype indent, qsizetype width)
{
    QString text;
    qsizetype column = indent;
    for (const QString& word : words) {
        if (!text.isEmpty() && column + 1 + word.size() > width) {
            text += QLatin1Char('\n') + QString(indent, QLatin1Char(' '));
            column = indent;
        } else if (!text.isEmpty()) {
            text += QLatin1Char(' ');
            ++column;
        }
        text += word;
        column += word.size();
    }
    return text;
}

} // namespace

const std::vector<Option>& CheckOptionTable::Options()
{
    static const std::vector<Option> table = makeTable();
    return table;
}

const Option& CheckOptionTable::Get(Id id)
{
    const Option& option = Options().at(static_cast<size_t>(id));
    Q_ASSERT(option.id == id);
    return option;
}

void CheckOptionTable::Describe(QCommandLineParser& parser)
{
    parser.setApplicationDescription(
        QStringLiteral("Checks IP addresses, host names and e-mail addresses against DNS blacklists.\n"
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
    for (const Option& option : Options()) {
        QCommandLineOption described(option.names, option.description, option.valueName, option.defaultValue);
        if (option.hidden) described.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(described);
    }
    parser.addPositionalArgument(QStringLiteral("targets"),
                                 QStringLiteral("Addresses, host names, e-mail addresses or list files."),
                                 QStringLiteral("[targets...]"));
}

QString CheckOptionTable::BashCompletion()
{
    // Qt's own options come first, as --help lists them.
    QCommandLineParser qt;
    QStringList words;
    for (const QString& name : qt.addHelpOption().names()) words << typed(name);
    words << QStringLiteral("--help-all");
    for (const QString& name : qt.addVersionOption().names()) words << typed(name);
    QStringList files, commands, formats, nothing;
    for (const Option& option : Options()) {
        if (option.hidden) continue;
        QStringList typedNames;
        for (const QString& name : option.names) typedNames << typed(name);
        words << typedNames;
        if (option.valueName.isEmpty()) continue;
        switch (option.completion) {
        case Value::Files: files << typedNames; break;
        case Value::Commands: commands << typedNames; break;
        case Value::Formats: formats << typedNames; break;
        case Value::None: nothing << typedNames; break;
        }
    }
    const QString indent(8, QLatin1Char(' '));
    auto branch = [&](const QStringList& options, const QString& body) {
        return options.isEmpty() ? QString() : indent + options.join(QLatin1Char('|')) + QStringLiteral(")\n") + body;
    };
    const QString fileReply = QStringLiteral("            COMPREPLY=($(compgen -f -- \"$cur\"))\n"
                                             "            compopt -o filenames 2>/dev/null\n"
                                             "            return 0 ;;\n");
    return QStringLiteral("# bash completion for quarlo-check\n"
                          "# Printed by \"quarlo-check --bash-completion\" from the program's table of\n"
                          "# options: change the table, then print this file anew.\n"
                          "_quarlo_check()\n"
                          "{\n"
                          "    local cur prev\n"
                          "    COMPREPLY=()\n"
                          "    cur=${COMP_WORDS[COMP_CWORD]}\n"
                          "    prev=${COMP_WORDS[COMP_CWORD-1]}\n"
                          "\n"
                          "    case $prev in\n")
        + branch(files,
                 QStringLiteral("            # List files, the configuration, the output, the history.\n") + fileReply)
        + branch(formats,
                 QStringLiteral("            # prometheus goes with --watch.\n"
                                "            COMPREPLY=($(compgen -W '%1' -- \"$cur\"))\n"
                                "            return 0 ;;\n")
                     .arg(FormatNames().join(QLatin1Char(' '))))
        + branch(commands,
                 QStringLiteral("            COMPREPLY=($(compgen -c -- \"$cur\"))\n"
                                "            return 0 ;;\n"))
        + branch(nothing,
                 QStringLiteral("            # A number, server list, address, time or target: nothing to offer.\n"
                                "            return 0 ;;\n"))
        + QStringLiteral("    esac\n"
                         "\n"
                         "    if [[ $cur == -* ]]; then\n"
                         "        COMPREPLY=($(compgen -W '%1' -- \"$cur\"))\n"
                         "        return 0\n"
                         "    fi\n"
                         "    # Targets, or list files: any file names one.\n")
              .arg(wrapped(words, 34, 110))
        + QStringLiteral("    COMPREPLY=($(compgen -f -- \"$cur\"))\n"
                         "    compopt -o filenames 2>/dev/null\n"
                         "    return 0\n"
                         "}\n"
                         "complete -F _quarlo_check quarlo-check\n");
}

std::optional<CheckOptions::Format> CheckOptionTable::FormatNamed(const QString& name)
{
    for (const auto& [known, format] : kFormats)
        if (name == QLatin1String(known)) return format;
    return std::nullopt;
}

QStringList CheckOptionTable::FormatNames()
{
    QStringList list;
    for (const auto& [known, format] : kFormats) list << QString::fromLatin1(known);
    return list << QStringLiteral("prometheus");
}

} // namespace quarlo
