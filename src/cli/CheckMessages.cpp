#include "cli/CheckMessages.h"

#include "cli/WatchReport.h"

#include <QTextStream>
#include <cstdio>

namespace quarlo {

void CheckMessages::Warn(const QString& message)
{
    QTextStream(stderr) << "quarlo-check: " << message << '\n';
}

int CheckMessages::Fail(const QString& message) const
{
    Warn(message);
    // A monitoring system reads the verdict from the first line of standard
    // output, also when the run could not start.
    if (usageExit_ == kExitWatchUsage) {
        std::fputs(WatchReport::StartupFailure(message).toUtf8().constData(), stdout);
        std::fflush(stdout);
    }
    return usageExit_;
}

} // namespace quarlo
