#pragma once

#include <QHash>
#include <QString>
#include <memory>
#include <optional>
#include <vector>

namespace quarlo {

// Ordered collection whose entries are also found by a text key compared
// without regard to letter case. Lookup by key is O(1) on average through a
// hash index kept beside the ordered storage once the collection is large;
// small ones (an address's responses, a server's codes: a handful each, but
// millions of them in a big scan) are searched in order, since an empty hash
// span alone costs some 2 KB. Positions are 1-based and missing keys or
// positions give a null pointer, never an error.
template <typename T>
class KeyedCollection {
public:
    using Pointer = std::shared_ptr<T>;

private:
    // Declared before the iterator that names it: a nested class's member
    // declarations only see names declared above them.
    struct Entry {
        QString key; // case-folded
        Pointer value;
    };

public:
    int Count() const { return static_cast<int>(entries_.size()); }
    bool isEmpty() const { return entries_.empty(); }

    Pointer Item(const QString& key) const { return find(fold(key)); }

    Pointer Item(int position) const
    {
        if (position < 1 || position > Count()) return Pointer();
        return entries_[static_cast<size_t>(position - 1)].value;
    }

    bool Contains(const QString& key) const { return find(fold(key)) != nullptr; }

    // Appends value under key; returns false (and changes nothing) when the
    // key is already held.
    bool Add(const QString& key, Pointer value)
    {
        QString folded = fold(key);
        if (find(folded)) return false;
        if (indexed()) index_.insert(folded, value);
        entries_.push_back(Entry{std::move(folded), std::move(value)});
        if (!indexed() && entries_.size() >= kIndexFrom) buildIndex();
        return true;
    }

    // The (case-folded) key an entry is held under; nothing when not held.
    std::optional<QString> KeyOf(const Pointer& value) const
    {
        for (const Entry& e : entries_)
            if (e.value == value) return e.key;
        return std::nullopt;
    }

    // Files the entry held under oldKey under newKey instead, keeping its
    // position. False (and nothing changed) when oldKey is not held or
    // newKey already names another entry.
    bool Rekey(const QString& oldKey, const QString& newKey)
    {
        const QString from = fold(oldKey);
        const QString to = fold(newKey);
        Pointer value = find(from);
        if (!value) return false;
        if (from == to) return true;
        if (find(to)) return false;
        if (indexed()) {
            index_.remove(from);
            index_.insert(to, value);
        }
        for (Entry& e : entries_)
            if (e.value == value) e.key = to;
        return true;
    }

    // Removes the entry and returns it, or null when the key is not held.
    Pointer Remove(const QString& key)
    {
        const QString folded = fold(key);
        Pointer removed = find(folded);
        if (!removed) return Pointer();
        if (indexed()) index_.remove(folded);
        // Removals mostly hit the end (Clear, undo of the last add), so search
        // backwards.
        for (auto e = entries_.rbegin(); e != entries_.rend(); ++e) {
            if (e->value == removed) {
                entries_.erase(std::next(e).base());
                break;
            }
        }
        return removed;
    }

    Pointer Remove(int position)
    {
        if (position < 1 || position > Count()) return Pointer();
        const auto it = entries_.begin() + (position - 1);
        Pointer removed = it->value;
        if (indexed()) index_.remove(it->key);
        entries_.erase(it);
        return removed;
    }

    // Empties the collection from the end, as the object model requires.
    void Clear()
    {
        std::vector<Pointer> all = TakeAll();
        while (!all.empty()) all.pop_back();
    }

    // Empties the collection at once and hands its entries over in order.
    // Linear: a list of 65,536 addresses is emptied without a look-up per
    // entry.
    std::vector<Pointer> TakeAll()
    {
        std::vector<Pointer> out;
        out.reserve(entries_.size());
        for (Entry& e : entries_) out.push_back(std::move(e.value));
        entries_ = std::vector<Entry>();
        index_ = QHash<QString, Pointer>();
        return out;
    }

    void reserve(int n)
    {
        entries_.reserve(static_cast<size_t>(n));
        if (static_cast<size_t>(n) >= kIndexFrom) {
            if (!indexed()) buildIndex();
            index_.reserve(n);
        }
    }

    class const_iterator {
    public:
        using Inner = typename std::vector<Entry>::const_iterator;
        explicit const_iterator(Inner it) : it_(it) {}
        const Pointer& operator*() const { return it_->value; }
        const_iterator& operator++()
        {
            ++it_;
            return *this;
        }
        bool operator!=(const const_iterator& o) const { return it_ != o.it_; }
        bool operator==(const const_iterator& o) const { return it_ == o.it_; }

    private:
        Inner it_;
    };
    const_iterator begin() const { return const_iterator(entries_.cbegin()); }
    const_iterator end() const { return const_iterator(entries_.cend()); }

    // A snapshot for callers that may change the collection while walking it.
    std::vector<Pointer> snapshot() const
    {
        std::vector<Pointer> out;
        out.reserve(entries_.size());
        for (const auto& e : entries_) out.push_back(e.value);
        return out;
    }

private:
    static constexpr size_t kIndexFrom = 16;

    bool indexed() const { return !index_.isEmpty(); }

    void buildIndex()
    {
        index_.reserve(static_cast<qsizetype>(entries_.size()));
        for (const Entry& e : entries_) index_.insert(e.key, e.value);
    }

    // The entry held under an already folded key, or null.
    Pointer find(const QString& folded) const
    {
        if (indexed()) return index_.value(folded);
        for (const Entry& e : entries_)
            if (e.key == folded) return e.value;
        return Pointer();
    }

    // Most keys (addresses, zones) are already lower case ASCII: those need
    // no folding, which would otherwise dominate a look-up.
    static QString fold(const QString& key)
    {
        for (QChar c : key)
            if ((c >= QLatin1Char('A') && c <= QLatin1Char('Z')) || c.unicode() >= 0x80) return key.toCaseFolded();
        return key;
    }

    std::vector<Entry> entries_;
    QHash<QString, Pointer> index_;
};

} // namespace quarlo
