#pragma once

#include <functional>
#include <memory>

namespace quarlo {

// How an automation wrapper reaches the model object behind its path: a weak
// reference (the model owns its objects) and a test of whether the object is
// still part of the document (an address removed from the list may live on
// for a moment in a signal's argument, yet its path must already be gone).
template <typename T>
struct AutomationHandle {
    std::weak_ptr<T> object;
    std::function<bool()> stillHeld;

    std::shared_ptr<T> get() const
    {
        std::shared_ptr<T> held = object.lock();
        if (!held || (stillHeld && !stillHeld())) return nullptr;
        return held;
    }
    bool alive() const { return get() != nullptr; }
};

} // namespace quarlo
