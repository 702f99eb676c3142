#include "cli/ProbeCache.h"

namespace quarlo {

void ProbeCache::dropExpired(qint64 nowMs)
{
    for (auto it = kept_.begin(); it != kept_.end();) {
        if (it->untilMs <= nowMs)
            it = kept_.erase(it);
        else
            ++it;
    }
}

ProbeCache::Outcome ProbeCache::request(const QString& key, qint64 nowMs, Deliver deliver)
{
    if (const auto kept = kept_.constFind(key); kept != kept_.cend()) {
        if (kept->untilMs > nowMs) {
            const Answer answer = kept->answer;
            deliver(answer);
            return Outcome::Cached;
        }
        kept_.remove(key);
    }
    if (const auto running = waiting_.find(key); running != waiting_.end()) {
        running->push_back(std::move(deliver));
        return Outcome::Joined;
    }
    if (running() >= maxScans_) return Outcome::Busy;
    waiting_[key].push_back(std::move(deliver));
    ++scansStarted_;
    return Outcome::Started;
}

void ProbeCache::finish(const QString& key, const Answer& answer, qint64 nowMs)
{
    std::vector<Deliver> waiting = waiting_.take(key);
    if (keepMs_ > 0 && answer.status == 200) {
        if (kept_.size() >= kMaxEntries) dropExpired(nowMs);
        // Still full of live answers: start over rather than grow without bound.
        if (kept_.size() >= kMaxEntries) kept_.clear();
        kept_.insert(key, {answer, nowMs + keepMs_});
    }
    for (const Deliver& deliver : waiting) deliver(answer);
}

} // namespace quarlo
