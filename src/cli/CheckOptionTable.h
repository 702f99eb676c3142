#pragma once

#include "cli/CheckOptions.h"

#include <QString>
#include <QStringList>
#include <optional>
#include <utility>
#include <vector>

class QCommandLineParser;

namespace quarlo {

// Every option of quarlo-check, once: what --help lists (in this order)
// and what the bash completion offers come from here.
class CheckOptionTable {
public:
    enum class Id {
        Serve,
        Every,
        ProbeCache,
        ProbeScans,
        ProbeRate,
        File,
        Config,
        MaxQueries,
        Dns,
        Timeout,
        Tries,
        Format,
        Output,
        OutputFollowLinks,
        Quiet,
        Verbose,
        History,
        NoHistory,
        NoListTest,
        Key,
        Watch,
        WatchName,
        Warning,
        Critical,
        NotifyCommand,
        MailTo,
        HistoryPrune,
        HistoryCsv,
        Ipv6,
        AllMx,
        BashCompletion,
    };
    // The runs an option is for: the others refuse it.
    enum class Mode {
        Any,
        Watch,   // with --watch only
        Serve,   // with --serve only
        History, // a history command: it runs instead of a scan
    };
    // What the completion offers for the option's value.
    enum class Value { None, Files, Commands, Formats };

    struct Option {
        Option(Id id, QStringList names, QString valueName, QString description, Mode mode = Mode::Any,
               Value completion = Value::None, QString defaultValue = QString(), bool hidden = false)
            : id(id), names(std::move(names)), valueName(std::move(valueName)), description(std::move(description)),
              mode(mode), completion(completion), defaultValue(std::move(defaultValue)), hidden(hidden)
        {
        }
        Id id;
        QStringList names; // short name first, as --help shows them
        QString valueName; // empty: a switch
        QString description;
        Mode mode;
        Value completion;
        QString defaultValue;
        bool hidden; // not for people: left out of --help and the completion
    };

    static const std::vector<Option>& Options();
    static const Option& Get(Id id);
    // The long name, as messages and QCommandLineParser::isSet name it.
    static QString Name(Id id) { return Get(id).names.last(); }

    // Fills parser with the description, --help, --version and the table.
    static void Describe(QCommandLineParser& parser);

    // The bash completion script for the table ("--bash-completion"
    // prints it; data/completion/quarlo-check is its output).
    static QString BashCompletion();

    // The --format values and what each writes; "prometheus" (watch runs
    // only) is no report format and so not among them.
    static std::optional<CheckOptions::Format> FormatNamed(const QString& name);
    static QStringList FormatNames(); // with "prometheus" last
};

} // namespace quarlo
