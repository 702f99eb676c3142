#pragma once

#include "cli/CheckOptions.h"
#include "cli/ServeOptions.h"

#include <QString>
#include <QStringList>

namespace quarlo {

// What quarlo-check's command line asks for, read and checked before any
// file is gathered or DNS server asked.
struct CheckCommand {
    enum class Action {
        Fail, // error says why; nothing runs
        Help, // text
        Version,
        BashCompletion,
        HistoryPrune, // options, pruneDays
        HistoryCsv,   // options, historyTarget
        Check,        // options
        Serve,        // serve (its check options included)
    };
    Action action = Action::Fail;
    // The status of a run that cannot start: 2, or 3 (UNKNOWN) for a watch.
    int usageExit = 2;
    QString error;
    QString text;
    bool verbose = false; // --verbose: traces on standard error
    CheckOptions options;
    ServeOptions serve;
    int pruneDays = 0;
    QString historyTarget;
};

// What the arguments are read against.
struct CheckEnvironment {
    QString executable;           // the configuration is found beside it
    bool stdinIsTerminal = true;  // no target given: standard input is read only when it is not
    bool stderrIsTerminal = true; // the progress line goes to a terminal only
};

class CheckArguments {
public:
    // arguments: the whole command line, the program first.
    static CheckCommand Parse(const QStringList& arguments, const CheckEnvironment& environment);
};

} // namespace quarlo
