#pragma once

#include <QLoggingCategory>

// One tracing category per layer. Off but for warnings; turn on with
// QT_LOGGING_RULES="quarlo.dns.debug=true" (or "quarlo.*.debug=true"), or
// quarlo-check --verbose.
Q_DECLARE_LOGGING_CATEGORY(lcDns)        // quarlo.dns: queries, tries, replies, the window
Q_DECLARE_LOGGING_CATEGORY(lcScan)       // quarlo.scan: targets, lookups, verdicts
Q_DECLARE_LOGGING_CATEGORY(lcHistory)    // quarlo.history: the scan history database
Q_DECLARE_LOGGING_CATEGORY(lcExport)     // quarlo.export: reports, printing
Q_DECLARE_LOGGING_CATEGORY(lcAutomation) // quarlo.automation: the D-Bus service
