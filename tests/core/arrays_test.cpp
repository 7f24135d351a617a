#include "core/arrays.h"

#include <gtest/gtest.h>

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

}  // namespace

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
    list.setCountForOverwrite(1000);
    EXPECT_EQ(list.count(), 1000u);
    EXPECT_GE(list.capacity(), 1000u);
    for (int i = 0; i < 1000; ++i) list[static_cast<uint32_t>(i)] = i;
    list.setCountForOverwrite(10);
    EXPECT_EQ(std::pair(list.count(), list[999]), std::pair(10u, 999)) << "nor does a smaller count here";

    sList<sList<int>> nested;
    sList<int> inner;
    inner.append(1);
    nested.append(inner);
    sList<sList<int>> copy(nested);
    copy[0][0] = 9;
    copy[0].append(2);
    EXPECT_EQ(std::pair(nested[0][0], nested[0].count()), std::pair(1, 1u));
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

    g_errors.clear();
    sList<unsigned char> pixels(3, 4);
    pixels[0] = 5;
    pixels.setCountForOverwrite(0x90000000u);
    EXPECT_EQ(g_errors,
              "sArray: too much memory requested. Check out if this is not a bug.\n"
              "sList: out of memory in setCountForOverwrite().\n");
    EXPECT_EQ(pixels.count(), 3u);
    EXPECT_EQ(pixels[0], 5);
}

TEST(GrowableArrayDeathTest, AccessAfterAFailedGrowthStopsInsteadOfTouchingMemory) {
    testing::FLAGS_gtest_death_test_style = "threadsafe";
    sArray<unsigned char> bytes(4);
    EXPECT_DEATH(bytes[0x80000000u] = 1, "could not be allocated");
    const sArray<int> fixed(2);
    EXPECT_DEATH((void)fixed[2], "could not be allocated");
}
