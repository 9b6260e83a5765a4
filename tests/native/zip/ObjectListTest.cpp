#include "zip/ObjectList.h"
#include "zip/ZipErrors.h"

#include <gtest/gtest.h>

namespace zorvi {
namespace {

// An item with a number key; counts its destructions.
class TNumber : public TPersistentObject {
public:
    explicit TNumber(int value, int* freed = nullptr) : Value(value), freed_(freed) {}
    ~TNumber() override {
        if (freed_ != nullptr) {
            ++*freed_;
        }
    }
    std::string ClassName() const override { return "TNumber"; }
    int Value;
    int Tag = 0;

private:
    int* freed_;
};

class TNumberList : public TSortedObjectList {
public:
    using TSortedObjectList::TSortedObjectList;
    int Compare(const TPersistentObject* a, const TPersistentObject* b) const override {
        return static_cast<const TNumber*>(a)->Value - static_cast<const TNumber*>(b)->Value;
    }
};

TClassRegistry NumberClasses() {
    TClassRegistry classes;
    classes.Register(
        "TNumber",
        {[] { return std::make_unique<TNumber>(0); },
         [](TPersistentObject& item, TStream& s) {
             static_cast<TNumber&>(item).Value = static_cast<int>(ReadU32(s));
         },
         [](const TPersistentObject& item, TStream& s) {
             WriteU32(s, static_cast<std::uint32_t>(static_cast<const TNumber&>(item).Value));
         }});
    return classes;
}

std::string MessageOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const EZipError& error) {
        return error.what();
    }
    return "(nothing raised)";
}

TEST(ObjectList, GrowsByFourThenEightThenSixteen) {
    TObjectList list;
    const std::vector<std::pair<int, int>> expected = {{1, 4},  {4, 4},   {5, 8},  {8, 8},
                                                       {9, 16}, {16, 16}, {17, 32}};
    int added = 0;
    for (const auto& [count, capacity] : expected) {
        while (added < count) {
            EXPECT_EQ(list.Add(new TNumber(added)), added);
            ++added;
        }
        EXPECT_EQ(list.Capacity(), capacity) << "after " << count << " items";
    }
}

TEST(ObjectList, IndexErrorsNameTheIndexAndLeaveTheListAlone) {
    TObjectList list;
    list.Add(new TNumber(1));
    EXPECT_EQ(MessageOf([&] { list.Get(1); }), "List index out of bounds (1)");
    EXPECT_EQ(MessageOf([&] { list.Get(-1); }), "List index out of bounds (-1)");
    EXPECT_EQ(MessageOf([&] { list.Insert(2, nullptr); }), "List index out of bounds (2)");
    EXPECT_EQ(MessageOf([&] { list.SetCapacity(0); }), "List index out of bounds (0)");
    EXPECT_EQ(MessageOf([&] { list.SetCount(-1); }), "List index out of bounds (-1)");
    EXPECT_EQ(list.Count(), 1);
    TObjectList empty;
    EXPECT_EQ(MessageOf([&] { empty.Neighbour(nullptr, 1); }), "List index out of bounds (0)");
}

TEST(ObjectList, InsertNeighbourAndOwnership) {
    int freed = 0;
    {
        TObjectList list;
        auto* a = new TNumber(1, &freed);
        auto* c = new TNumber(3, &freed);
        list.Add(a);
        list.Add(c);
        auto* b = new TNumber(2, &freed);
        list.Insert(1, b);
        EXPECT_EQ(list.IndexOf(b), 1);
        EXPECT_EQ(list.Neighbour(b, 1), c);
        EXPECT_EQ(list.Neighbour(b, 0), a);
        EXPECT_EQ(list.Neighbour(c, 1), nullptr);
        EXPECT_EQ(list.Neighbour(nullptr, 0), c);
        TNumber stranger(9);
        EXPECT_EQ(MessageOf([&] { list.Neighbour(&stranger, 1); }),
                  "tObject TNumber not in item list");
        list.SetCount(5);
        EXPECT_EQ(list.Get(4), nullptr);
        list.SetCount(3);
    }
    EXPECT_EQ(freed, 3); // an owning list frees its items when destroyed
    TObjectList borrowing(false);
    TNumber kept(1, &freed);
    borrowing.Add(&kept);
    borrowing.Clear();
    EXPECT_EQ(borrowing.Capacity(), 0);
    EXPECT_EQ(freed, 3);
}

TEST(SortedObjectList, DuplicatePolicies) {
    TNumberList reject;
    reject.Duplicates = TDuplicates::Reject;
    reject.Add(new TNumber(5));
    reject.Add(new TNumber(1));
    TNumber duplicate(5);
    EXPECT_EQ(MessageOf([&] { reject.Add(&duplicate); }), "Duplicate Object index");
    EXPECT_EQ(reject.Count(), 2);
    EXPECT_EQ(static_cast<TNumber*>(reject.First())->Value, 1);

    TNumberList accept;
    accept.Duplicates = TDuplicates::Accept;
    for (int tag = 1; tag <= 3; ++tag) {
        auto* item = new TNumber(7);
        item->Tag = tag;
        accept.Add(item);
    }
    accept.Add(new TNumber(2));
    // An equal item goes before all the equal ones already there.
    EXPECT_EQ(static_cast<TNumber*>(accept.Get(1))->Tag, 3);
    EXPECT_EQ(static_cast<TNumber*>(accept.Get(3))->Tag, 1);
    int index = -1;
    TNumber seven(7);
    EXPECT_TRUE(accept.Find(&seven, index));
    EXPECT_EQ(index, 1); // the first of the equal items

    int freed = 0;
    TNumberList ignore;
    ignore.Add(new TNumber(4));
    TNumber equal(4, &freed);
    EXPECT_EQ(ignore.Add(&equal), -1);
    EXPECT_EQ(ignore.Count(), 1);
    EXPECT_EQ(freed, 0); // the ignored item is the caller's
}

TEST(SortedObjectList, KeepsOrderFindsAndRefusesPut) {
    TNumberList list;
    for (int v : {50, 10, 40, 20, 30}) {
        list.Insert(0, new TNumber(v)); // the index asked for is ignored
    }
    for (int i = 0; i < list.Count(); ++i) {
        EXPECT_EQ(static_cast<TNumber*>(list.Get(i))->Value, (i + 1) * 10);
    }
    TNumber key(35);
    int index = -1;
    EXPECT_FALSE(list.Find(&key, index));
    EXPECT_EQ(index, 3);
    TNumber thirty(30);
    EXPECT_EQ(list.IndexOf(&thirty), 2);
    EXPECT_EQ(MessageOf([&] { list.Put(0, nullptr); }), "Cannot <Put> an Object in a sorted list!");
}

TEST(ObjectListStorage, RoundTripsThroughAStream) {
    const TClassRegistry classes = NumberClasses();
    TNumberList list;
    list.Duplicates = TDuplicates::Accept;
    for (int v : {3, 1, 2, 2}) {
        list.Add(new TNumber(v));
    }
    TMemoryStream stream;
    list.WriteProperties(stream, classes);
    stream.Seek(0, kFromBeginning);
    TNumberList copy;
    ASSERT_TRUE(copy.ReadProperties(stream, classes));
    EXPECT_EQ(copy.Duplicates, TDuplicates::Accept);
    ASSERT_EQ(copy.Count(), 4);
    EXPECT_EQ(static_cast<TNumber*>(copy.Last())->Value, 3);
    EXPECT_FALSE(copy.ReadProperties(stream, classes)); // nothing more in the stream

    TMemoryStream empty;
    TNumberList none;
    none.WriteProperties(empty, classes);
    EXPECT_TRUE(empty.Bytes().empty()); // an empty list writes no property
}

TEST(ObjectListStorage, UnknownClassesAreRefusedWithoutChangingAnything) {
    TClassRegistry none;
    TObjectList list;
    list.Add(new TNumber(1));
    TMemoryStream stream;
    EXPECT_EQ(MessageOf([&] { list.WriteToStream(stream, none); }),
              "Source Class <TNumber> not registered");
    EXPECT_TRUE(stream.Bytes().empty());
    list.Add(nullptr);
    EXPECT_EQ(MessageOf([&] { list.WriteToStream(stream, NumberClasses()); }), "Nil Source Class!");

    TObjectList source;
    source.Add(new TNumber(8));
    TMemoryStream stored;
    source.WriteToStream(stored, NumberClasses());
    stored.Seek(0, kFromBeginning);
    TObjectList target;
    EXPECT_EQ(MessageOf([&] { target.ReadFromStream(stored, none); }),
              "Class <TNumber> not registered");
    EXPECT_EQ(target.Count(), 0);
}

} // namespace
} // namespace zorvi
