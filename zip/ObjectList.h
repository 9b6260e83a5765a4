// Growable lists of object references, and sorted ones found by binary search.
// The archive directory keeps its entries in them. A list may own its items (it
// then frees them when it is destroyed, never on Clear), and a list can store itself
// and its items in a stream through a registry of item classes that the caller owns.
#pragma once

#include "zip/Stream.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace zorvi {

/// Base of everything a list holds: it knows its class name (for storage).
class TPersistentObject {
public:
    virtual ~TPersistentObject() = default;
    virtual std::string ClassName() const = 0;
};

/// How one item class is created, loaded and stored.
struct TRegisteredClass {
    std::function<std::unique_ptr<TPersistentObject>()> Create;
    std::function<void(TPersistentObject& item, TStream& stream)> Read;
    std::function<void(const TPersistentObject& item, TStream& stream)> Write;
};

/// The classes a list may store, by name (sorted; a second registration of a name
/// is ignored). Owned by whoever stores or loads lists, so no state is global.
class TClassRegistry {
public:
    void Register(const std::string& className, TRegisteredClass entry);
    const TRegisteredClass* Find(std::string_view className) const;

private:
    std::map<std::string, TRegisteredClass, std::less<>> classes_;
};

class TObjectList : public TPersistentObject {
public:
    /// Longest count or capacity a list accepts.
    static constexpr int kMaxListSize = 0x1FFFFFFE;
    /// Longest class name stored in a stream.
    static constexpr std::size_t kMaxClassName = 63;

    explicit TObjectList(bool ownsItems = true) : ownsItems_(ownsItems) {}
    ~TObjectList() override;
    TObjectList(const TObjectList&) = delete;
    TObjectList& operator=(const TObjectList&) = delete;

    std::string ClassName() const override { return "TObjectList"; }

    int Count() const { return count_; }
    int Capacity() const { return static_cast<int>(items_.size()); }
    /// Below the count or above kMaxListSize: index error.
    void SetCapacity(int capacity);
    /// Growing fills the new slots with none; below 0 or above kMaxListSize: index error.
    void SetCount(int count);
    bool OwnsItems() const { return ownsItems_; }
    void SetOwnsItems(bool owns) { ownsItems_ = owns; }

    TPersistentObject* Get(int index) const;
    TPersistentObject* operator[](int index) const { return Get(index); }
    /// Replaces the reference at index (the old item is not freed).
    virtual void Put(int index, TPersistentObject* item);
    /// Appends; returns the new index. An owning list takes the item over.
    virtual int Add(TPersistentObject* item);
    /// Inserts at index 0..Count(), moving the tail up.
    virtual void Insert(int index, TPersistentObject* item);
    /// Index of the item (by reference), -1 when absent.
    virtual int IndexOf(const TPersistentObject* item) const;
    /// Frees the item when the list owns its items (it stays in the list).
    virtual void FreeItem(TPersistentObject* item);
    /// Count and capacity 0; the items are not freed.
    virtual void Clear();

    TPersistentObject* First() const { return Get(0); }
    TPersistentObject* Last() const { return Get(count_ - 1); }
    /// direction 1: the item after, 0: the one before; with no item, the first or
    /// the last. None beyond either end; an item not in the list is a list error.
    TPersistentObject* Neighbour(const TPersistentObject* item, int direction) const;

    /// Stores: [policy byte of a sorted list], owns-items byte, count (4 bytes), then
    /// per item its class name (length byte, at most 63) and what its writer writes.
    virtual void WriteToStream(TStream& stream, const TClassRegistry& classes) const;
    /// Loads what WriteToStream stored, adding the items; on an error nothing is added.
    virtual void ReadFromStream(TStream& stream, const TClassRegistry& classes);
    /// The list as a named binary property "ObjectContainer", written only when the
    /// list is not empty: name, 4-byte length, then what WriteToStream writes.
    void WriteProperties(TStream& stream, const TClassRegistry& classes) const;
    /// Reads a property written by WriteProperties; false when the stream is at its end.
    bool ReadProperties(TStream& stream, const TClassRegistry& classes);

protected:
    [[noreturn]] virtual void IndexError(int index) const;
    /// Adds 4 slots up to a capacity of 4, 8 up to 8, then 16 at a time.
    virtual void Grow();
    void CheckIndex(int index) const;
    /// Inserts without any policy (the sorted list's own insertion uses it).
    void InsertAt(int index, TPersistentObject* item);

private:
    std::vector<TPersistentObject*> items_; // size is the capacity
    int count_ = 0;
    bool ownsItems_;
};

/// What a sorted list does with an item whose key equals an existing one.
enum class TDuplicates : std::uint8_t {
    Ignore = 0, // not inserted; left to the caller
    Accept = 1, // inserted before all equal items
    Reject = 2, // list error "Duplicate Object index"
};

class TSortedObjectList : public TObjectList {
public:
    explicit TSortedObjectList(bool ownsItems = true) : TObjectList(ownsItems) {}
    std::string ClassName() const override { return "TSortedObjectList"; }

    TDuplicates Duplicates = TDuplicates::Ignore;

    /// A sorted list has no positions to put to: list error.
    void Put(int index, TPersistentObject* item) override;
    /// Inserts in order subject to Duplicates; returns the index, or -1 when an equal
    /// item made the list ignore it (the caller keeps it).
    int Add(TPersistentObject* item) override;
    /// Same as Add: the index asked for is ignored.
    void Insert(int index, TPersistentObject* item) override;
    /// Adds the items as Add would, one after the other, but in O(n log n): inserting each
    /// at its place would move O(n) references for each item out of order. The sort gives
    /// the order that insertion gives, for a Compare that orders consistently. Done so only
    /// on an empty list that accepts duplicates (one that rejects or ignores them adds the
    /// items one by one).
    virtual void AddAll(const std::vector<TPersistentObject*>& items);
    /// Index of an item with an equal key, -1 when none.
    int IndexOf(const TPersistentObject* item) const override;

    /// The key an item is ordered by (the item itself unless overridden).
    virtual const TPersistentObject* KeyOf(const TPersistentObject* item) const { return item; }
    /// Negative, 0 or positive as key a orders before, with or after key b.
    virtual int Compare(const TPersistentObject* a, const TPersistentObject* b) const = 0;
    /// Binary search: true when found; index is the item's position (with Accept, the
    /// first of equal items) or where the key would be inserted.
    bool Find(const TPersistentObject* key, int& index) const;

    void WriteToStream(TStream& stream, const TClassRegistry& classes) const override;
    void ReadFromStream(TStream& stream, const TClassRegistry& classes) override;

protected:
    /// AddAll's sort on an empty list that accepts duplicates, with `compare`(i, j) giving
    /// what Compare gives for the keys of items[i] and items[j] (a list that can compare
    /// faster than Compare does, by keys made once per item, passes its own).
    void AddAllSorted(const std::vector<TPersistentObject*>& items,
                      const std::function<int(std::size_t, std::size_t)>& compare);
};

} // namespace zorvi
