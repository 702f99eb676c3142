// quarlo-check's command line read without running it: the option table
// that drives --help and the bash completion, which run each option belongs
// to, and the configuration's error messages.
#include "cli/CheckArguments.h"
#include "cli/CheckOptionTable.h"
#include "cli/FileProblem.h"
#include "storage/ServerConfigFile.h"
#include "storage/XmlDocumentFile.h"
#include "support/TestFiles.h"

#include <QCommandLineParser>
#include <QDir>
#include <QMap>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace quarlo;

namespace {

using Id = CheckOptionTable::Id;
using Mode = CheckOptionTable::Mode;
using Action = CheckCommand::Action;

// A command line as a person types it, read with standard input a pipe
// (so a run without targets reads it) and no terminal for progress.
CheckCommand parse(QStringList arguments, bool stdinIsTerminal = false)
{
    arguments.prepend(QStringLiteral("quarlo-check"));
    return CheckArguments::Parse(arguments,
                                 {.executable = QStringLiteral("/nonexistent/bin/quarlo-check"),
                                  .stdinIsTerminal = stdinIsTerminal,
                                  .stderrIsTerminal = false});
}

QString typed(const QString& name)
{
    return (name.size() == 1 ? "-" : "--") + name;
}

// A value each option that goes with one run takes, so a test can give it.
const QMap<Id, QString>& sampleValues()
{
    static const QMap<Id, QString> values{
        {Id::WatchName, "mail servers"},
        {Id::Warning, "1"},
        {Id::Critical, "2"},
        {Id::NotifyCommand, "true"},
        {Id::MailTo, "ops@example.org"},
        {Id::Every, "2h"},
        {Id::ProbeCache, "5"},
        {Id::ProbeScans, "2"},
        {Id::ProbeRate, "10"},
        {Id::HistoryPrune, "30"},
        {Id::HistoryCsv, "192.0.2.1"},
    };
    return values;
}

} // namespace

TEST(CheckOptionTableTest, HelpListsEveryOptionOnceWithItsValue)
{
    QCommandLineParser parser;
    CheckOptionTable::Describe(parser);
    const QString help = parser.helpText();
    QSet<QString> names;
    for (const CheckOptionTable::Option& option : CheckOptionTable::Options()) {
        EXPECT_EQ(&CheckOptionTable::Get(option.id), &option) << "the table's order differs from its ids";
        for (const QString& name : option.names) {
            EXPECT_FALSE(names.contains(name)) << "two options are called " << name.toStdString();
            names.insert(name);
            // A name in the option column: at the start of a line or after ", ".
            const QRegularExpression shown("(^  |, )" + QRegularExpression::escape(typed(name)) + "( |,|$)",
                                           QRegularExpression::MultilineOption);
            EXPECT_EQ(help.contains(shown), !option.hidden) << name.toStdString();
        }
        if (!option.valueName.isEmpty() && !option.hidden) {
            EXPECT_TRUE(help.contains(typed(option.names.last()) + " <" + option.valueName + ">"))
                << option.names.last().toStdString();
        }
    }
    EXPECT_TRUE(names.contains("verbose"));
}

// What the completion offers for "-" and after --format: OptionsDocumented,
// against --help.
TEST(CheckOptionTableTest, CompletionKnowsWhichOptionsTakeValues)
{
    const QString script = CheckOptionTable::BashCompletion();
    // The words of the completion's `case $prev in` labels.
    QSet<QString> afterOption;
    static const QRegularExpression label(QStringLiteral("^ {8}(-[^ )]*)\\)$"), QRegularExpression::MultilineOption);
    for (auto it = label.globalMatch(script); it.hasNext();)
        for (const QString& word : it.next().captured(1).split('|')) afterOption.insert(word);
    ASSERT_TRUE(afterOption.contains("--format")) << script.toStdString();
    // A value is never completed as a target, nor a switch's next word as its value.
    for (const CheckOptionTable::Option& option : CheckOptionTable::Options())
        for (const QString& name : option.names)
            EXPECT_EQ(afterOption.contains(typed(name)), !option.valueName.isEmpty() && !option.hidden)
                << name.toStdString();
}

TEST(CheckArgumentsTest, OptionsOfOneRunAreRefusedInTheOthers)
{
    for (const CheckOptionTable::Option& option : CheckOptionTable::Options()) {
        if (option.mode != Mode::Watch && option.mode != Mode::Serve) continue;
        const QString name = typed(option.names.first());
        ASSERT_TRUE(sampleValues().contains(option.id)) << "no sample value for " << name.toStdString();
        const QStringList given{name, sampleValues().value(option.id)};
        const CheckCommand alone = parse(given + QStringList{"192.0.2.1"});
        EXPECT_EQ(alone.action, Action::Fail) << name.toStdString();
        EXPECT_TRUE(alone.error.contains(QRegularExpression(QRegularExpression::escape(name) + "\\b")))
            << name.toStdString() << ": " << alone.error.toStdString();
        const QString needs = option.mode == Mode::Watch ? "--watch" : "--serve";
        EXPECT_TRUE(alone.error.endsWith("go with " + needs)) << alone.error.toStdString();
        if (option.mode == Mode::Watch) {
            const CheckCommand watching = parse(given + QStringList{"--watch", "192.0.2.1"});
            EXPECT_EQ(watching.action, Action::Check) << name.toStdString() << ": " << watching.error.toStdString();
        }
    }
}

TEST(CheckArgumentsTest, AWatchRunThatCannotStartIsUnknown)
{
    EXPECT_EQ(parse({"--watch", "--tries", "0", "192.0.2.1"}).usageExit, 3);
    EXPECT_EQ(parse({"--tries", "0", "192.0.2.1"}).usageExit, 2);
    // A service's --watch names a file to watch: the service is no plugin.
    EXPECT_EQ(parse({"--serve", "0", "--watch", "hosts.txt", "--tries", "0"}).usageExit, 2);
    EXPECT_EQ(parse({"--watch", "--serve=0", "hosts.txt"}).usageExit, 2);
    const CheckCommand bad = parse({"--watch", "--bogus"});
    EXPECT_EQ(bad.action, Action::Fail);
    EXPECT_EQ(bad.usageExit, 3);
}

// Which argument is a target and which a list file, and how the targets are
// gathered from them: QuarloCheckTest, through the program.
TEST(CheckArgumentsTest, WithoutTargetsAPipeIsReadAndATerminalIsNot)
{
    EXPECT_FALSE(parse({"example.org"}).options.readStdin);
    EXPECT_TRUE(parse({"example.org", "-"}).options.readStdin);
    EXPECT_TRUE(parse({}).options.readStdin);
    const CheckCommand typing = parse({}, true);
    EXPECT_EQ(typing.action, Action::Fail);
    EXPECT_EQ(typing.error, "no targets given (see --help)");
}

TEST(CheckArgumentsTest, FormatsAndTheirCompanions)
{
    EXPECT_EQ(parse({"--format", "JSON", "192.0.2.1"}).options.format, CheckOptions::Format::Json);
    EXPECT_EQ(parse({"192.0.2.1"}).options.format, CheckOptions::Format::Text);
    const CheckCommand metrics = parse({"--watch", "--format", "prometheus", "192.0.2.1"});
    EXPECT_EQ(metrics.action, Action::Check);
    EXPECT_TRUE(metrics.options.prometheus);
    EXPECT_EQ(parse({"--format", "prometheus", "192.0.2.1"}).error, "--format prometheus goes with --watch");
    EXPECT_EQ(parse({"--format", "pdf", "192.0.2.1"}).error, "--format pdf needs --output FILE");
    EXPECT_EQ(parse({"--watch", "--format", "csv", "192.0.2.1"}).error, "--watch writes text, json or prometheus");
    // Bad input is named by a printable excerpt only.
    const CheckCommand odd = parse({"--format", "x\x1b[2J", "192.0.2.1"});
    EXPECT_TRUE(odd.error.startsWith("unknown format \"x?[2J\"")) << odd.error.toStdString();
}

TEST(CheckArgumentsTest, NumbersAndServersWithinBounds)
{
    const CheckCommand tuned = parse({"--timeout", "250", "--tries", "10", "--max-queries", "40", "--dns",
                                      "192.0.2.53:5353, [2001:db8::53]:53", "--verbose", "192.0.2.1"});
    ASSERT_EQ(tuned.action, Action::Check) << tuned.error.toStdString();
    EXPECT_EQ(tuned.options.tuning.maxTimeoutMs, 250);
    EXPECT_EQ(tuned.options.tuning.tries, 10);
    EXPECT_EQ(tuned.options.maxQueries, 40);
    EXPECT_EQ(tuned.options.dnsServers, "192.0.2.53:5353,[2001:db8::53]:53");
    EXPECT_TRUE(tuned.verbose);
    EXPECT_FALSE(parse({"192.0.2.1"}).verbose);
    EXPECT_EQ(parse({"--timeout", "99", "192.0.2.1"}).error, "--timeout wants milliseconds from 100 to 60000");
    EXPECT_EQ(parse({"--tries", "11", "192.0.2.1"}).error, "--tries wants a number from 1 to 10");
    EXPECT_TRUE(parse({"--dns", "ns.example.org", "192.0.2.1"}).error.endsWith("not \"ns.example.org\""));
    // A key's value is a secret: never in a message.
    for (const QString& bad : {QString(70, 'k') + "=s3cret", QString("=s3cret"), QString("dq"), QString("dq= ")}) {
        const CheckCommand key = parse({"--key", bad, "192.0.2.1"});
        EXPECT_TRUE(key.action == Action::Fail && key.error.startsWith("--key wants")) << key.error.toStdString();
        EXPECT_FALSE(key.error.contains("s3cret"));
    }
    EXPECT_EQ(parse({"--key", "dq=s3cret", "192.0.2.1"}).options.accessKeys,
              (QList<QPair<QString, QString>>{{"dq", "s3cret"}}));
}

TEST(CheckArgumentsTest, HistoryCommandsRunInsteadOfAScan)
{
    const CheckCommand prune = parse({"--history-prune", "30"});
    EXPECT_EQ(prune.action, Action::HistoryPrune);
    EXPECT_EQ(prune.pruneDays, 30);
    EXPECT_EQ(parse({"--history-prune", "-1"}).action, Action::Fail);
    const CheckCommand csv = parse({"--history-csv", "192.0.2.1", "--history", "/tmp/h.sqlite"});
    EXPECT_EQ(csv.action, Action::HistoryCsv);
    EXPECT_EQ(csv.historyTarget, "192.0.2.1");
    EXPECT_EQ(csv.options.historyPath, "/tmp/h.sqlite");
}

TEST(CheckArgumentsTest, AServiceTakesItsTargetsFromWatchesOnly)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString hosts = dir.filePath("hosts.txt");
    spit(hosts, "192.0.2.1\n");
    const CheckCommand serve =
        parse({"--serve", "0", "--watch", hosts, "--every", "2h", "--probe-scans", "8", "--config", "q.cfg"});
    ASSERT_EQ(serve.action, Action::Serve) << serve.error.toStdString();
    ASSERT_EQ(serve.serve.watches.size(), 1u);
    EXPECT_EQ(serve.serve.watches[0].file, hosts);
    EXPECT_EQ(serve.serve.watches[0].everySeconds, 7200);
    EXPECT_EQ(serve.serve.maxScans, 8);
    EXPECT_EQ(serve.serve.check.configPath, "q.cfg");
    EXPECT_FALSE(serve.serve.check.progress);
    EXPECT_TRUE(
        parse({"--serve", "0", "192.0.2.1"}).error.startsWith("--serve takes its targets from /probe requests"));
    // The same file named twice, however spelt.
    EXPECT_EQ(parse({"--serve", "0", "--watch", hosts, "--watch", dir.filePath("./hosts.txt")}).error,
              dir.filePath("./hosts.txt") + " is watched twice");
    EXPECT_TRUE(parse({"--serve", "localhost:9150"}).error.startsWith("--serve wants an IP address"));
    EXPECT_TRUE(parse({"--serve", "0", "--watch", dir.filePath("missing.txt")}).error.startsWith("cannot watch "));
    EXPECT_TRUE(parse({"--serve", "0", "--watch", hosts, "--every", "10s"}).error.startsWith("--every wants a time"));
    EXPECT_TRUE(parse({"--serve", "0", "--probe-scans", "0"}).error.startsWith("--probe-scans wants"));
    EXPECT_EQ(parse({"--serve", "0", "--format", "json"}).error,
              "--serve answers over HTTP; --output and --format do not apply");
}

TEST(ConfigurationProblemTest, NamesTheFileAndWhereItBreaks)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString broken = dir.filePath("quarlo.cfg");
    spit(broken, "<Quarlo>\n  <BlackListServers>\n</Quarlo>\n");
    const QString problem = ConfigurationProblem(broken);
    EXPECT_TRUE(
        problem.startsWith("the blacklist server configuration " + broken + " is not well-formed XML: line 3, column "))
        << problem.toStdString();
    // The same place and reason the window shows for the file.
    pugi::xml_document doc;
    QString description;
    ASSERT_EQ(XmlDocumentFile::Load(doc, broken, description, ServerConfigFile::kMaxFileBytes),
              XmlDocumentFile::LoadStatus::Malformed);
    const QString where = description.section(": ", 1).chopped(1);
    EXPECT_TRUE(problem.endsWith(": " + where)) << problem.toStdString() << " / " << description.toStdString();

    EXPECT_EQ(ConfigurationProblem(dir.filePath("none.cfg")),
              "no blacklist server configuration at " + dir.filePath("none.cfg") + ": the file does not exist");
    EXPECT_EQ(ConfigurationProblem(dir.path()),
              "cannot read the blacklist server configuration " + dir.path() + ": it is a directory, not a file");
    spit(broken, "<Quarlo><BlackListServers/></Quarlo>");
    EXPECT_EQ(ConfigurationProblem(broken), QString());
}
