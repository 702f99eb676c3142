#include "scan/ScanProgress.h"

#include <algorithm>

namespace quarlo {

void ScanProgress::start(qint64 nowMs, int total)
{
    samples_.clear();
    startMs_ = nowMs;
    total_ = std::max(0, total);
    done_ = 0;
    samples_.push_back(Sample{nowMs, 0});
}

void ScanProgress::update(qint64 nowMs, int done)
{
    done_ = std::clamp(done, 0, total_);
    samples_.push_back(Sample{nowMs, done_});
    // Keep one sample at or before the window's start as the rate's base.
    while (samples_.size() > 2 && samples_[1].atMs <= nowMs - RateWindowMs) samples_.pop_front();
}

qint64 ScanProgress::remainingMs() const
{
    if (samples_.empty() || total_ == 0) return -1;
    if (done_ >= total_) return 0;
    const Sample& last = samples_.back();
    if (last.atMs - startMs_ < MinElapsedMs || last.done == 0) return -1;
    const Sample& base = samples_.front();
    const qint64 spanMs = last.atMs - base.atMs;
    const int gained = last.done - base.done;
    if (spanMs <= 0 || gained <= 0) {
        // Nothing finished within the window: fall back to the whole scan's rate.
        const qint64 totalSpan = last.atMs - startMs_;
        if (totalSpan <= 0) return -1;
        return qint64(double(total_ - done_) * double(totalSpan) / double(last.done));
    }
    return qint64(double(total_ - done_) * double(spanMs) / double(gained));
}

QString ScanProgress::text() const
{
    QString text = QStringLiteral("Checked %1 of %2 addresses").arg(done_).arg(total_);
    const qint64 left = remainingMs();
    if (left > 0) text += QStringLiteral(", about %1 left").arg(formatDuration(left));
    return text;
}

QString ScanProgress::formatDuration(qint64 ms)
{
    const qint64 seconds = std::max<qint64>(1, (ms + 500) / 1000);
    if (seconds < 60) return QStringLiteral("%1 s").arg(seconds);
    if (seconds < 3600) {
        const qint64 minutes = seconds / 60;
        const qint64 rest = seconds % 60;
        return rest ? QStringLiteral("%1 min %2 s").arg(minutes).arg(rest) : QStringLiteral("%1 min").arg(minutes);
    }
    const qint64 minutes = (seconds + 30) / 60;
    return QStringLiteral("%1 h %2 min").arg(minutes / 60).arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

} // namespace quarlo
