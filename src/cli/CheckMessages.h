#pragma once

#include <QString>

namespace quarlo {

// What quarlo-check says on standard error, and how a run that cannot
// start ends.
class CheckMessages {
public:
    static constexpr int kExitUsage = 2;
    // A monitoring system reads 2 from a watch run as CRITICAL: there, a
    // run that cannot even start is UNKNOWN.
    static constexpr int kExitWatchUsage = 3;

    explicit CheckMessages(int usageExit = kExitUsage) : usageExit_(usageExit) {}

    // "quarlo-check: message" on standard error.
    static void Warn(const QString& message);

    // Says why the run cannot start and returns its exit status; a watch
    // run also gives its verdict as the first line of standard output.
    int Fail(const QString& message) const;

    int usageExit() const { return usageExit_; }

private:
    int usageExit_;
};

} // namespace quarlo
