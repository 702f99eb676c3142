#pragma once

#include "cli/CheckOptions.h"
#include "cli/CheckTarget.h"

#include <QString>
#include <QStringList>
#include <unistd.h>
#include <vector>

namespace quarlo {

// The targets of one check, gathered in order and each once from the
// arguments, the list files and standard input (see TargetCollector).
class CheckTargets {
public:
    // Standard input is cut into lines as list files are.
    static constexpr qint64 kMaxInputBytes = qint64(1) << 30; // endless input ends the run

    struct Gathered {
        std::vector<CheckTarget> targets;
        // Each source that gave no target, and why: the run goes on with
        // the others, or is refused when none gave any (a list that
        // emptied must not pass as clean).
        QStringList emptySources;
        QString error; // an unreadable source or too many targets: nothing is checked
    };

    // inputFd: where "-" (or a run without targets) reads from.
    static Gathered Gather(const CheckOptions& options, int inputFd = STDIN_FILENO);
};

} // namespace quarlo
