#include "zip/ObjectList.h"

#include "zip/ZipErrors.h"

#include <algorithm>
#include <utility>

namespace zorvi {
namespace {

constexpr const char* kPropertyName = "ObjectContainer";

} // namespace

void TClassRegistry::Register(const std::string& className, TRegisteredClass entry) {
    classes_.try_emplace(className, std::move(entry));
}

const TRegisteredClass* TClassRegistry::Find(std::string_view className) const {
    const auto it = classes_.find(className);
    return it == classes_.end() ? nullptr : &it->second;
}

TObjectList::~TObjectList() {
    if (ownsItems_) {
        for (int i = 0; i < count_; ++i) {
            delete items_[static_cast<std::size_t>(i)];
        }
    }
}

void TObjectList::IndexError(int index) const {
    RaiseListError(kTextListIndex, index);
}

void TObjectList::CheckIndex(int index) const {
    if (index < 0 || index >= count_) {
        IndexError(index);
    }
}

void TObjectList::SetCapacity(int capacity) {
    if (capacity < count_ || capacity > kMaxListSize) {
        IndexError(capacity);
    }
    // The slots beyond the capacity are the vector's own: it grows its storage by half
    // again or more, so adding n items one by one copies O(n) references, not the O(n^2)
    // that storage of exactly the capacity (grown by 16 at a time) would copy.
    const bool shrinking = static_cast<std::size_t>(capacity) < items_.size();
    items_.resize(static_cast<std::size_t>(capacity), nullptr);
    if (shrinking) {
        items_.shrink_to_fit();
    }
}

void TObjectList::SetCount(int count) {
    if (count < 0 || count > kMaxListSize) {
        IndexError(count);
    }
    if (count > Capacity()) {
        SetCapacity(count);
    }
    for (int i = count_; i < count; ++i) {
        items_[static_cast<std::size_t>(i)] = nullptr;
    }
    count_ = count;
}

void TObjectList::Grow() {
    const int capacity = Capacity();
    const int delta = capacity > 8 ? 16 : (capacity > 4 ? 8 : 4);
    SetCapacity(capacity + delta);
}

TPersistentObject* TObjectList::Get(int index) const {
    CheckIndex(index);
    return items_[static_cast<std::size_t>(index)];
}

void TObjectList::Put(int index, TPersistentObject* item) {
    CheckIndex(index);
    items_[static_cast<std::size_t>(index)] = item;
}

int TObjectList::Add(TPersistentObject* item) {
    if (count_ == Capacity()) {
        Grow();
    }
    items_[static_cast<std::size_t>(count_)] = item;
    return count_++;
}

void TObjectList::InsertAt(int index, TPersistentObject* item) {
    if (index < 0 || index > count_) {
        IndexError(index);
    }
    if (count_ == Capacity()) {
        Grow();
    }
    const auto at = items_.begin() + index;
    std::move_backward(at, items_.begin() + count_, items_.begin() + count_ + 1);
    *at = item;
    ++count_;
}

void TObjectList::Insert(int index, TPersistentObject* item) {
    InsertAt(index, item);
}

int TObjectList::IndexOf(const TPersistentObject* item) const {
    for (int i = 0; i < count_; ++i) {
        if (items_[static_cast<std::size_t>(i)] == item) {
            return i;
        }
    }
    return -1;
}

void TObjectList::FreeItem(TPersistentObject* item) {
    if (ownsItems_) {
        delete item;
    }
}

void TObjectList::Clear() {
    count_ = 0;
    items_.clear();
    items_.shrink_to_fit();
}

TPersistentObject* TObjectList::Neighbour(const TPersistentObject* item, int direction) const {
    if (item == nullptr) {
        return direction == 1 ? First() : Last();
    }
    const int index = IndexOf(item);
    if (index < 0) {
        RaiseListError("tObject " + item->ClassName() + " not in item list");
    }
    const int next = direction == 1 ? index + 1 : index - 1;
    return next >= 0 && next < count_ ? items_[static_cast<std::size_t>(next)] : nullptr;
}

void TObjectList::WriteToStream(TStream& stream, const TClassRegistry& classes) const {
    // Every item is checked before anything is written, so a refusal leaves no
    // half-written list behind.
    for (int i = 0; i < count_; ++i) {
        const TPersistentObject* item = items_[static_cast<std::size_t>(i)];
        if (item == nullptr) {
            RaiseClassNotFound("Nil Source Class!", "");
        }
        if (classes.Find(item->ClassName()) == nullptr) {
            RaiseClassNotFound("Source Class <%s> not registered", item->ClassName());
        }
    }
    WriteU8(stream, ownsItems_ ? 1 : 0);
    WriteU32(stream, static_cast<std::uint32_t>(count_));
    for (int i = 0; i < count_; ++i) {
        const TPersistentObject& item = *items_[static_cast<std::size_t>(i)];
        const std::string name = item.ClassName().substr(0, kMaxClassName);
        WriteShortText(stream, name);
        classes.Find(item.ClassName())->Write(item, stream);
    }
}

void TObjectList::ReadFromStream(TStream& stream, const TClassRegistry& classes) {
    const bool owns = ReadU8(stream) != 0;
    const std::uint32_t count = ReadU32(stream);
    if (count > static_cast<std::uint32_t>(kMaxListSize)) {
        IndexError(static_cast<int>(count & 0x7FFFFFFF));
    }
    // Read everything first: a list is unchanged by an operation that raises.
    std::vector<std::unique_ptr<TPersistentObject>> loaded;
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::string name = ReadShortText(stream);
        const TRegisteredClass* entry = classes.Find(name);
        if (entry == nullptr) {
            RaiseClassNotFound("Class <%s> not registered", name);
        }
        auto item = entry->Create();
        entry->Read(*item, stream);
        loaded.push_back(std::move(item));
    }
    ownsItems_ = owns;
    for (auto& item : loaded) {
        TPersistentObject* raw = item.get();
        if (Add(raw) >= 0) {
            item.release();
        }
    }
}

void TObjectList::WriteProperties(TStream& stream, const TClassRegistry& classes) const {
    if (count_ == 0) {
        return;
    }
    TMemoryStream body;
    WriteToStream(body, classes);
    WriteShortText(stream, kPropertyName);
    WriteU32(stream, static_cast<std::uint32_t>(body.Bytes().size()));
    stream.Write(body.Bytes().data(), body.Bytes().size());
}

bool TObjectList::ReadProperties(TStream& stream, const TClassRegistry& classes) {
    std::uint8_t length = 0;
    if (stream.Read(&length, 1) == 0) {
        return false;
    }
    std::string name(length, '\0');
    if (!stream.ReadExact(name.data(), length) || name != kPropertyName) {
        RaiseClassNotFound("Class <%s> not registered", name);
    }
    ReadU32(stream); // the body's length: the body describes itself
    ReadFromStream(stream, classes);
    return true;
}

void TSortedObjectList::Put(int, TPersistentObject*) {
    RaiseListError("Cannot <Put> an Object in a sorted list!");
}

bool TSortedObjectList::Find(const TPersistentObject* key, int& index) const {
    int low = 0;
    int high = Count() - 1;
    bool found = false;
    while (low <= high) {
        const int middle = (low + high) / 2;
        const int d = Compare(KeyOf(Get(middle)), key);
        if (d < 0) {
            low = middle + 1;
        } else {
            high = middle - 1;
            if (d == 0) {
                found = true;
                if (Duplicates != TDuplicates::Accept) {
                    low = middle;
                }
            }
        }
    }
    index = low;
    return found;
}

int TSortedObjectList::Add(TPersistentObject* item) {
    int index = 0;
    if (Find(KeyOf(item), index)) {
        if (Duplicates == TDuplicates::Ignore) {
            return -1;
        }
        if (Duplicates == TDuplicates::Reject) {
            RaiseListError("Duplicate Object index");
        }
    }
    InsertAt(index, item);
    return index;
}

void TSortedObjectList::Insert(int, TPersistentObject* item) {
    Add(item);
}

void TSortedObjectList::AddAll(const std::vector<TPersistentObject*>& items) {
    if (Count() != 0 || Duplicates != TDuplicates::Accept) {
        for (TPersistentObject* item : items) {
            Add(item);
        }
        return;
    }
    AddAllSorted(items, [&](std::size_t i, std::size_t j) {
        return Compare(KeyOf(items[i]), KeyOf(items[j]));
    });
}

void TSortedObjectList::AddAllSorted(const std::vector<TPersistentObject*>& items,
                                     const std::function<int(std::size_t, std::size_t)>& compare) {
    // Where Add puts a later item b against an earlier one a: Find passes over every item
    // that compares below b, so b goes after a exactly when Compare(a, b) < 0. That is a
    // strict order of the pairs (item, place among the items): sorting by it is inserting.
    std::vector<std::pair<TPersistentObject*, std::size_t>> placed;
    placed.reserve(items.size());
    for (std::size_t i = 0; i < items.size(); ++i) {
        placed.emplace_back(items[i], i);
    }
    std::sort(placed.begin(), placed.end(), [&](const auto& p, const auto& q) {
        if (p.second == q.second) {
            return false;
        }
        return p.second < q.second ? compare(p.second, q.second) < 0
                                   : compare(q.second, p.second) >= 0;
    });
    SetCapacity(static_cast<int>(items.size()));
    for (const auto& p : placed) {
        InsertAt(Count(), p.first);
    }
}

int TSortedObjectList::IndexOf(const TPersistentObject* item) const {
    int index = 0;
    return Find(KeyOf(item), index) ? index : -1;
}

void TSortedObjectList::WriteToStream(TStream& stream, const TClassRegistry& classes) const {
    // The policy byte goes first only once everything is known to be storable.
    TMemoryStream body;
    TObjectList::WriteToStream(body, classes);
    WriteU8(stream, static_cast<std::uint8_t>(Duplicates));
    stream.Write(body.Bytes().data(), body.Bytes().size());
}

void TSortedObjectList::ReadFromStream(TStream& stream, const TClassRegistry& classes) {
    const std::uint8_t policy = ReadU8(stream);
    if (policy > static_cast<std::uint8_t>(TDuplicates::Reject)) {
        RaiseListError("Duplicate Object index");
    }
    const TDuplicates previous = Duplicates;
    Duplicates = static_cast<TDuplicates>(policy);
    try {
        TObjectList::ReadFromStream(stream, classes);
    } catch (...) {
        Duplicates = previous;
        throw;
    }
}

} // namespace zorvi
