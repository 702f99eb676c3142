#pragma once

#include "export/TableSnapshot.h"

#include <QDateTime>
#include <QString>

#include <vector>

namespace quarlo {

class Address;
class Addresslist;
class Settings;

// One target of a report, under the text the user gave.
struct ReportTarget {
    QString given;                    // as given
    QString invalid;                  // why it was rejected before the scan; empty when checked
    const Address* address = nullptr; // the list entry that checked it; null when rejected
};

// The one model of a report every door renders: the results grid's rows
// (address, the servers that list it or refused, their answers) and under
// each address a row per list that gave it no usable answer, was skipped
// or (when none applied) could not answer, with the reason.
class ResultsSnapshot {
public:
    // Built straight from a scanned list, for programs without a window (the
    // command-line scanner): the same rows, texts and colours the window
    // would show, every row expanded, since no one has folded anything.
    static TableSnapshot FromList(const Addresslist& list, const Settings& settings);
    // The same for targets as given, in their order: a target rejected
    // before the scan gets a row with the reason, so every target given
    // appears once.
    static TableSnapshot FromTargets(const std::vector<ReportTarget>& targets, const Settings& settings);
    // The window's own snapshot (address rows keyed) with the list rows
    // added under each address row, shown when the address row is expanded.
    static void AddNoteRows(TableSnapshot& snapshot, const Addresslist& list, const Settings& settings);

    // The one title of a report, for every format and the print:
    // "<list name> — Blacklist scan results, <date>, N targets against M
    // lists"; without a list name it starts at "Blacklist".
    static QString Title(const QString& listName, const QDateTime& started, int targets, int lists);
    // The title of a scanned list's report (its targets, its enabled lists,
    // when its scan started; now when none did).
    static QString Title(const QString& listName, const Addresslist& list, const Settings& settings);
    static int EnabledLists(const Settings& settings);
};

} // namespace quarlo
