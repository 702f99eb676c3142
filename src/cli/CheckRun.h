#pragma once

#include "cli/CheckTarget.h"
#include "scan/ScanProgress.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <vector>

namespace quarlo {

class Addresslist;

// Drives one command-line check: every checkable target joins the list as
// given (an e-mail address stays one: the scan finds its mail servers), the
// scan runs, and the run finishes once late TXT replies have arrived too.
class CheckRun : public QObject {
    Q_OBJECT
public:
    CheckRun(Addresslist& list, bool progress, QObject* parent = nullptr);

    void start(std::vector<CheckTarget> targets);

    // The targets in the order given; complete once finished() was emitted.
    const std::vector<CheckTarget>& targets() const { return targets_; }
    // The same, handed over once the run is done with them (a /16 is
    // megabytes of them).
    std::vector<CheckTarget> takeTargets() { return std::move(targets_); }

signals:
    void finished();

private:
    void waitForTxt();
    void showProgress();

    Addresslist& list_;
    bool progress_;
    std::vector<CheckTarget> targets_;
    QTimer progressTimer_;
    QElapsedTimer clock_;
    ScanProgress scanProgress_; // started with the first progress line of the scan
    bool scanProgressStarted_ = false;
    QTimer txtTimer_;
    bool progressShown_ = false;
};

} // namespace quarlo
