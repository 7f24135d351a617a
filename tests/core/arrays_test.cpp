#include "core/arrays.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>

namespace {

std::string g_errors;
void collectError(const char* message) { g_errors += message; }

class ArrayErrors : public testing::Test {
protected:
    void SetUp() override {
        g_errors.clear();
        setArrayErrorFunction(collectError);
    }
    void TearDown() override { setArrayErrorFunction(nullptr); }
};

struct Placement {
    int a = -1;
    int b = -1;
    int c = 2147483647;
};

}  // namespace

TEST(GrowableArray, AccessPastTheEndGrowsByDoubling) {
    sArray<int> a;
    a[0] = 7;
    EXPECT_EQ(a.capacity(), 1u);
    a[5] = 1;
    EXPECT_EQ(a.capacity(), 8u);
    a[100] = 3;
    EXPECT_EQ(a.capacity(), 128u);
    EXPECT_EQ(std::pair(a[0], a[5]), std::pair(7, 1));  // old contents survive the growth
    EXPECT_EQ(a[99], 0);                                 // new plain slots read as zero, never as garbage
}

TEST(GrowableArray, AssignmentNeverShrinksAndKeepsTheSlotsBeyond) {
    sArray<int> big(10), small(3);
    for (uint32_t i = 0; i < 10; ++i) big[i] = 100 + static_cast<int>(i);
    for (uint32_t i = 0; i < 3; ++i) small[i] = static_cast<int>(i);
    big = small;
    EXPECT_EQ(big.capacity(), 10u);
    EXPECT_EQ(std::tuple(big[2], big[3], big[9]), std::tuple(2, 103, 109));

    sArray<int> tiny(2);
    tiny = big;  // a smaller destination takes exactly the source's capacity
    EXPECT_EQ(tiny.capacity(), 10u);
    EXPECT_EQ(tiny[9], 109);
    tiny[0] = -5;
    EXPECT_EQ(big[0], 0) << "copies must not share the block";
}

TEST(GrowableArray, ListsCountAppendsAndCopyDeeply) {
    sList<int> list(5, 2);  // a count beyond the capacity grows the list
    EXPECT_GE(list.capacity(), 5u);
    list.append(42);
    EXPECT_EQ(std::pair(list.count(), list[5]), std::pair(6u, 42));
    list.setCount(2);
    EXPECT_EQ(list[5], 42) << "a smaller count leaves the slots alone";

    sList<sList<int>> nested;
    sList<int> inner;
    inner.append(1);
    nested.append(inner);
    sList<sList<int>> copy(nested);
    copy[0][0] = 9;
    copy[0].append(2);
    EXPECT_EQ(std::pair(nested[0][0], nested[0].count()), std::pair(1, 1u));
}

TEST(GrowableArray, NewSlotsOfInitialisedArraysTakeTheirDefault) {
    EXPECT_EQ(isArray<int>(-1, 5).capacity(), 5u);  // construction allocates exactly
    isArray<int> marks(-1, 4);
    marks[0] = 5;
    marks[4] = 0;
    EXPECT_EQ(marks.capacity(), 8u);
    EXPECT_EQ(marks[0], 5);
    for (uint32_t i = 5; i < 8; ++i) EXPECT_EQ(marks[i], -1);

    sArray<Placement> places;
    places[2].a = 4;
    EXPECT_EQ(std::tuple(places[3].a, places[3].b, places[3].c, places[2].c), std::tuple(-1, -1, INT_MAX, INT_MAX));
}

TEST_F(ArrayErrors, GrowthBeyondTwoToTheThirtyFirstIsRefusedAndLeavesTheArrayAlone) {
    sArray<unsigned char> bytes(4);
    bytes[1] = 7;
    bytes.extend(0x80000000u);
    EXPECT_EQ(g_errors,
              "sArray: too much memory requested. Check out if this is not a bug.\n"
              "sArray: out of memory in extend().\n");
    EXPECT_EQ(bytes.capacity(), 4u);
    EXPECT_EQ(bytes[1], 7);

    g_errors.clear();
    isArray<int> marks(-1, 2);
    marks.extend(0x90000000u);
    EXPECT_EQ(g_errors,
              "sArray: too much memory requested. Check out if this is not a bug.\n"
              "isArray: out of memory in extend()");
    EXPECT_EQ(marks.capacity(), 2u);
}

TEST(GrowableArrayDeathTest, AccessAfterAFailedGrowthStopsInsteadOfTouchingMemory) {
    testing::FLAGS_gtest_death_test_style = "threadsafe";
    sArray<unsigned char> bytes(4);
    EXPECT_DEATH(bytes[0x80000000u] = 1, "could not be allocated");
    const sArray<int> fixed(2);
    EXPECT_DEATH((void)fixed[2], "could not be allocated");
}
