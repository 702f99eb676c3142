#pragma once

#include "cli/CheckTarget.h"
#include "common/TargetLimits.h"

#include <QSet>
#include <QString>
#include <vector>

namespace quarlo {

// Gathers the targets of one check in order, each once: arguments as
// given, list and input lines without blanks and comments, a network range
// as each of its addresses not given yet (a refused range is one invalid
// target that says why). quarlo-check's arguments and files and the
// service's scheduled watches gather the same way.
class TargetCollector {
public:
    explicit TargetCollector(qint64 limit = TargetLimits::kMaxTargets) : limit_(limit) {}

    // An argument is taken as given: an empty one is reported, not dropped.
    // False once the limit is reached.
    bool addArgument(const QString& raw);
    // One entry of a list file or input (ListFileReader's Take): blank
    // lines and comments are skipped; cut: only the start of an overlong
    // line was read, so it cannot be a target.
    bool addEntry(const QString& text, bool cut);

    // Entries that were neither blank nor comments since the last reset,
    // whether given before or not: a source with none is reported empty.
    qsizetype entries() const { return entries_; }
    void resetEntries() { entries_ = 0; }

    bool empty() const { return targets_.empty(); }
    std::vector<CheckTarget> take() { return std::move(targets_); }

private:
    bool addText(const QString& text);
    bool add(CheckTarget target);

    qint64 limit_;
    std::vector<CheckTarget> targets_;
    QSet<QString> seen_;
    qsizetype entries_ = 0;
};

} // namespace quarlo
