#pragma once

#include <QString>
#include <QtGlobal>

#include <deque>

namespace quarlo {

// How far a scan has come and how long the rest should take. The rate is
// taken over the last RateWindowMs of samples, so a scan that slows down
// (a dead zone, a slower server) soon shows the longer estimate; until
// MinElapsedMs have passed with some addresses done there is no estimate.
class ScanProgress {
public:
    static constexpr qint64 RateWindowMs = 10000;
    static constexpr qint64 MinElapsedMs = 1000;

    void start(qint64 nowMs, int total);
    // done: addresses finished so far (never more than total).
    void update(qint64 nowMs, int done);

    int total() const { return total_; }
    int done() const { return done_; }
    // Milliseconds left at the current rate; -1 while unknown.
    qint64 remainingMs() const;
    // "Checked 120 of 4096 addresses", then ", about 2 min 10 s left" once
    // the rate is known.
    QString text() const;

    // A duration as people read it: "45 s", "2 min 10 s", "1 h 05 min";
    // under a second reads "1 s".
    static QString formatDuration(qint64 ms);

private:
    struct Sample {
        qint64 atMs;
        int done;
    };
    std::deque<Sample> samples_;
    qint64 startMs_ = 0;
    int total_ = 0;
    int done_ = 0;
};

} // namespace quarlo
