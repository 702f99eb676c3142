#include "cli/ClientRate.h"

namespace quarlo {

namespace {
constexpr qint64 kMinuteMs = 60000;
}

bool ClientRate::allow(const QString& client, qint64 nowMs)
{
    if (!windows_.contains(client) && windows_.size() >= kMaxClients) {
        for (auto it = windows_.begin(); it != windows_.end();) {
            if (nowMs - it->startMs >= kMinuteMs)
                it = windows_.erase(it);
            else
                ++it;
        }
        // Every one of them asked within the minute: a flood from many
        // addresses, which no per-client count can tell apart. Refused.
        if (windows_.size() >= kMaxClients) return false;
    }
    Window& window = windows_[client];
    if (nowMs - window.startMs >= kMinuteMs) window = {nowMs, 0};
    if (window.count >= perMinute_) return false;
    ++window.count;
    return true;
}

} // namespace quarlo
