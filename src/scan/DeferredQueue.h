#pragma once

#include <QMetaObject>
#include <QObject>
#include <QPointer>
#include <deque>
#include <functional>
#include <utility>

namespace quarlo {

// Outcomes of DNS queries, handed on from the event loop rather than from
// inside c-ares's callbacks (a handler may start or cancel queries, or
// delete the component): everything that arrived by then, in order, in one
// pass that stops as soon as a handler deletes the owner.
template <typename T>
class DeferredQueue {
public:
    DeferredQueue(QObject* owner, std::function<void(T&&)> deliver) : owner_(owner), deliver_(std::move(deliver)) {}

    void push(T item)
    {
        items_.push_back(std::move(item));
        if (queued_) return;
        queued_ = true;
        // Dropped by Qt when the owner is gone before it runs.
        QMetaObject::invokeMethod(
            owner_, [this] { drain(); }, Qt::QueuedConnection);
    }

    // Forgets what waits (cancelled queries).
    void clear() { items_.clear(); }

private:
    void drain()
    {
        queued_ = false;
        const QPointer<QObject> alive(owner_);
        while (!items_.empty()) {
            T item = std::move(items_.front());
            items_.pop_front();
            deliver_(std::move(item));
            if (!alive) return; // this queue went with its owner
        }
    }

    QObject* owner_;
    std::function<void(T&&)> deliver_;
    std::deque<T> items_;
    bool queued_ = false;
};

} // namespace quarlo
