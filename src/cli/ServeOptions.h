#pragma once

#include "cli/CheckOptions.h"
#include "cli/ServeArguments.h"

#include <vector>

namespace quarlo {

// What `quarlo-check --serve` was asked for.
struct ServeOptions {
    ServeArguments::Listen listen;
    std::vector<ServeArguments::Watch> watches;
    CheckOptions check;   // the lists, DNS servers, history and watch options every scan uses
    int keepSeconds = 60; // --probe-cache
    int maxScans = 4;     // --probe-scans
    int perMinute = 60;   // --probe-rate
};

} // namespace quarlo
