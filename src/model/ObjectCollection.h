#pragma once

#include "common/KeyedCollection.h"

#include <QString>

namespace quarlo {

// What every collection of the object model offers its callers: an item by
// key (letter case ignored) or by 1-based position, the count, removal,
// and iteration in the order items were added. How items are added is each
// collection's own.
template <typename T>
class ObjectCollection {
public:
    using Pointer = typename KeyedCollection<T>::Pointer;

    Pointer Item(const QString& key) const { return items_.Item(key); }
    Pointer Item(int position) const { return items_.Item(position); }
    int Count() const { return items_.Count(); }
    // False when the key or position is not held (an error to automation callers).
    bool Remove(const QString& key) { return items_.Remove(key) != nullptr; }
    bool Remove(int position) { return items_.Remove(position) != nullptr; }
    void Clear() { items_.Clear(); }

    auto begin() const { return items_.begin(); }
    auto end() const { return items_.end(); }

protected:
    ~ObjectCollection() = default;

    KeyedCollection<T> items_;
};

} // namespace quarlo
