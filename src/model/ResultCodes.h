#pragma once

#include "common/KeyedCollection.h"
#include "model/ResultCode.h"

namespace quarlo {

using ResultCodePtr = std::shared_ptr<ResultCode>;

// A server's answer table, keyed by the answer address text exactly as added.
// Every entry has a non-empty reason and an address that passes IsValidIP.
class ResultCodes {
public:
    // The new entry; the held entry unchanged when the address is already
    // present; null when the reason is empty or the address is not valid.
    ResultCodePtr Add(const QString& address, const QString& reason);

    ResultCodePtr Item(const QString& key) const { return items_.Item(key); }
    ResultCodePtr Item(int position) const { return items_.Item(position); }
    int Count() const { return items_.Count(); }
    // False when the key or position is not held (an error to automation callers).
    bool Remove(const QString& key) { return items_.Remove(key) != nullptr; }
    bool Remove(int position) { return items_.Remove(position) != nullptr; }
    void Clear() { items_.Clear(); }

    auto begin() const { return items_.begin(); }
    auto end() const { return items_.end(); }

private:
    KeyedCollection<ResultCode> items_;
};

} // namespace quarlo
