#include "framework/core/KB_GrowingArray.h"

#include "framework/core/KB_Pair.h"
#include "framework/core/KB_String.h"

#include <gtest/gtest.h>

#include <vector>

namespace
{

// Counts live instances, so tests can see how many slots the storage constructs.
struct Tracked
{
    static int s_iLive;
    int m_iValue = 0;
    Tracked() { ++s_iLive; }
    Tracked(int value) : m_iValue(value) { ++s_iLive; }
    Tracked(const Tracked& other) : m_iValue(other.m_iValue) { ++s_iLive; }
    Tracked& operator=(const Tracked&) = default;
    ~Tracked() { --s_iLive; }
};
int Tracked::s_iLive = 0;

struct Base
{
    static int s_iDeleted;
    virtual ~Base() { ++s_iDeleted; }
};
int Base::s_iDeleted = 0;

struct Derived : Base
{
    KB_String m_sName = "owned";
};

std::vector<std::uint32_t> CapacitiesWhileAdding(KB_GrowingArray<std::uint32_t>& array, std::uint32_t count)
{
    std::vector<std::uint32_t> seen{array.GetCapacity()};
    for (std::uint32_t i = 0; i < count; ++i)
    {
        array.Add(i);
        if (array.GetCapacity() != seen.back())
            seen.push_back(array.GetCapacity());
    }
    return seen;
}

TEST(KB_GrowingArray, GrowsFromZeroToFiveThenDoubles)
{
    KB_GrowingArray<std::uint32_t> fromZero;
    EXPECT_EQ(CapacitiesWhileAdding(fromZero, 21), (std::vector<std::uint32_t>{0, 5, 10, 20, 40}));
    for (std::uint32_t i = 0; i < 21; ++i)
        EXPECT_EQ(fromZero[i], i);

    KB_GrowingArray<std::uint32_t> fromTwo(2);
    EXPECT_EQ(CapacitiesWhileAdding(fromTwo, 8), (std::vector<std::uint32_t>{2, 4, 8}));
    EXPECT_EQ(fromTwo.GetNumMembers(), 8u);
}

TEST(KB_GrowingArray, ShrinkHalvesButNeverBelowTheInitialCapacity)
{
    // members left -> capacity, for an array grown to 10 from initial capacity 0
    KB_GrowingArray<KB_String> strings;
    for (int i = 0; i < 10; ++i)
        strings.Add(KB_String::Formatted("s%d", i));
    ASSERT_EQ(strings.GetCapacity(), 10u);
    const std::uint32_t expected[] = {10, 10, 10, 10, 10, 5, 5, 5, 2, 1}; // after removals 1..10
    for (std::uint32_t removed = 1; removed <= 10; ++removed)
    {
        strings.Remove(strings.GetNumMembers() - 1);
        EXPECT_EQ(strings.GetCapacity(), expected[removed - 1]) << "members " << strings.GetNumMembers();
    }

    KB_GrowingArray<KB_String> floor(8);
    for (int i = 0; i < 20; ++i)
        floor.Add("x");
    ASSERT_EQ(floor.GetCapacity(), 32u);
    while (floor.GetNumMembers() > 0)
    {
        floor.Remove(0);
        EXPECT_GE(floor.GetCapacity(), 8u);
    }
    EXPECT_EQ(floor.GetCapacity(), 8u);
}

TEST(KB_GrowingArray, RemoveAndInsertKeepOrder)
{
    KB_GrowingArray<KB_String> a;
    for (const char* text : {"a", "b", "c", "d"})
        a.Add(text);
    a.Remove(1, false);
    ASSERT_EQ(a.GetNumMembers(), 3u);
    EXPECT_STREQ(a[0].GetBuffer(), "a");
    EXPECT_STREQ(a[1].GetBuffer(), "c");
    EXPECT_STREQ(a[2].GetBuffer(), "d");
    EXPECT_EQ(a[3].GetLength(), 0u); // freed slot reset to an empty string
    EXPECT_EQ(a.GetCapacity(), 5u);

    a.Insert(0, "first");
    a.Insert(2, "mid");
    a.Insert(a.GetNumMembers(), "last");
    const char* order[] = {"first", "a", "mid", "c", "d", "last"};
    ASSERT_EQ(a.GetNumMembers(), 6u);
    for (std::uint32_t i = 0; i < 6; ++i)
        EXPECT_STREQ(a[i].GetBuffer(), order[i]);
    EXPECT_EQ(a.GetCapacity(), 10u);
}

TEST(KB_GrowingArray, AddingAMemberOfTheSameArrayWhileGrowing)
{
    KB_GrowingArray<KB_String> a;
    for (int i = 0; i < 5; ++i)
        a.Add(KB_String::Formatted("value %d", i));
    a.Add(a[0]); // the source slot is freed by the growth
    a.Insert(0, a[5]);
    EXPECT_STREQ(a[6].GetBuffer(), "value 0");
    EXPECT_STREQ(a[0].GetBuffer(), "value 0");
}

TEST(KB_GrowingArray, RemoveAllHonoursTheShrinkFlag)
{
    KB_GrowingArray<std::uint32_t> numbers(2);
    for (std::uint32_t i = 0; i < 9; ++i)
        numbers.Add(i + 1);
    ASSERT_EQ(numbers.GetCapacity(), 16u);
    numbers.RemoveAll(false);
    EXPECT_EQ(numbers.GetNumMembers(), 0u);
    EXPECT_EQ(numbers.GetCapacity(), 16u);
    EXPECT_EQ(numbers[0], 0u); // members reset
    numbers.Add(7);
    numbers.RemoveAll();
    EXPECT_EQ(numbers.GetCapacity(), 2u);

    KB_GrowingArray<KB_String> strings;
    strings.Add("a");
    strings.RemoveAll();
    EXPECT_EQ(strings.GetCapacity(), 0u);
    strings.Add("b");
    EXPECT_STREQ(strings[0].GetBuffer(), "b");
}

TEST(KB_GrowingArray, ClassElementsFillEveryCapacitySlot)
{
    Tracked::s_iLive = 0;
    {
        KB_GrowingArray<Tracked> a;
        EXPECT_EQ(Tracked::s_iLive, 0);
        a.Add(Tracked(1));
        EXPECT_EQ(Tracked::s_iLive, 5);
        for (int i = 0; i < 5; ++i)
            a.Add(Tracked(i));
        EXPECT_EQ(Tracked::s_iLive, 10);
        KB_GrowingArray<Tracked> copy(a);
        EXPECT_EQ(Tracked::s_iLive, 20);
        copy.RemoveAll();
        EXPECT_EQ(Tracked::s_iLive, 10);
    }
    EXPECT_EQ(Tracked::s_iLive, 0);
}

TEST(KB_GrowingArray, CopiesAreIndependent)
{
    KB_GrowingArray<KB_String> a(3);
    a.Add("one");
    a.Add("two");
    KB_GrowingArray<KB_String> b(a);
    EXPECT_EQ(b.GetCapacity(), 3u);
    EXPECT_EQ(b.GetInitialCapacity(), 3u);
    b[0] = "changed";
    EXPECT_STREQ(a[0].GetBuffer(), "one");

    KB_GrowingArray<KB_String> c;
    for (int i = 0; i < 7; ++i)
        c.Add("x");
    c = a;
    EXPECT_EQ(c.GetNumMembers(), 2u);
    EXPECT_EQ(c.GetCapacity(), 3u);
    EXPECT_STREQ(c[1].GetBuffer(), "two");
    const KB_GrowingArray<KB_String>& self = c; // through a reference: clang rejects a plain self-assignment
    c = self;
    EXPECT_STREQ(c[1].GetBuffer(), "two");
}

TEST(KB_GrowingArray, DeleteAllDeletesThroughTheVirtualDestructor)
{
    Base::s_iDeleted = 0;
    KB_GrowingArray<Base*> owned;
    for (int i = 0; i < 6; ++i)
        owned.Add(new Derived());
    owned.Add(nullptr);
    owned.DeleteAll();
    EXPECT_EQ(Base::s_iDeleted, 6);
    EXPECT_EQ(owned.GetNumMembers(), 0u);
    EXPECT_EQ(owned.GetCapacity(), 0u);
}

TEST(KB_GrowingArray, PairsOfStringsAndPointers)
{
    int target = 0;
    KB_GrowingArray<KB_Pair<KB_String, int*>> registry;
    registry.Add({KB_String("a.int"), &target});
    registry.Add({KB_String("b.int"), nullptr});
    registry.Remove(0);
    ASSERT_EQ(registry.GetNumMembers(), 1u);
    EXPECT_STREQ(registry[0].first.GetBuffer(), "b.int");
    EXPECT_EQ(registry[1].second, nullptr);
    EXPECT_EQ(registry[1].first.GetLength(), 0u);
}

} // namespace
