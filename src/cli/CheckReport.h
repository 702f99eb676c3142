#pragma once

#include "cli/CheckTarget.h"
#include "scan/ZoneTest.h"

#include <QDateTime>
#include <QStringList>
#include <vector>

namespace quarlo {

// Everything one command-line check reports: the scan as a whole, the
// lists' self-tests and every target in the order given.
struct CheckReport {
    QDateTime started;               // when the scan started; invalid when none ran
    QStringList dnsServers;          // the DNS servers asked
    std::vector<ZoneTest> zoneTests; // empty when the scan ran without them
    std::vector<CheckTarget> targets;
};

} // namespace quarlo
