#include <gtest/gtest.h>

#include "TDynaArray.h"

namespace {

struct TRecord {
    int32_t value = 0;
    std::string text;
};

class TDynaArrayTest : public ::testing::Test {
protected:
    TRecord* cur = nullptr;
    TDynaArray<TRecord> list{&cur};

    void Fill(int n) {
        for (int i = 0; i < n; ++i) list.Append()->value = i + 1;
    }
    std::vector<int32_t> Values() {
        std::vector<int32_t> values;
        for (const auto& r : list) values.push_back(r.value);
        return values;
    }
};

TEST_F(TDynaArrayTest, FreshListHasNoCursor) {
    EXPECT_EQ(list.count, 0u);
    EXPECT_EQ(list.index, -1);
    EXPECT_EQ(list.current, nullptr);
    EXPECT_EQ(list.capacityBytes, 0);
}

TEST_F(TDynaArrayTest, AppendSelectsTheNewZeroedElementAndMirrorsIt) {
    TRecord* first = list.Append();
    EXPECT_EQ(first, cur);
    EXPECT_EQ(list.index, 0);
    EXPECT_EQ(first->value, 0);
    EXPECT_TRUE(first->text.empty());
    first->value = 7;
    TRecord* second = list.Append();
    EXPECT_EQ(second, cur);
    EXPECT_EQ(list.index, 1);
    EXPECT_EQ(list[0].value, 7);
    // Room for the count brought up to the next hundred elements.
    EXPECT_EQ(list.capacityBytes, static_cast<int32_t>(100 * sizeof(TRecord)));
}

TEST_F(TDynaArrayTest, NextOnEmptyListReturnsFalseEvenAfterRewind) {
    list.Rewind();
    EXPECT_FALSE(list.Next());
}

TEST_F(TDynaArrayTest, RewindOnEmptyListKeepsTheOldCursor) {
    Fill(3);
    list.Select(2);
    list.Clear();  // Clear deselects: index -1, current null
    list.index = 5;
    list.Rewind();
    EXPECT_EQ(list.index, 5);
    EXPECT_EQ(list.current, nullptr);
}

TEST_F(TDynaArrayTest, StandardWalkVisitsEveryElementWithIndexOnePastIt) {
    Fill(4);
    std::vector<std::pair<int32_t, int32_t>> seen;  // value, index - 1
    list.Rewind();
    while (list.Next()) seen.emplace_back(cur->value, list.index - 1);
    ASSERT_EQ(seen.size(), 4u);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(seen[i].first, i + 1);
        EXPECT_EQ(seen[i].second, i);
    }
    EXPECT_EQ(list.index, 4);
    EXPECT_FALSE(list.Next());
}

TEST_F(TDynaArrayTest, NestedOperationResumesTheWalk) {
    Fill(3);
    std::vector<int32_t> visited;
    list.Rewind();
    while (list.Next()) {
        visited.push_back(cur->value);
        const int32_t saved = list.index;
        // Something else walks the same list in between.
        list.Rewind();
        while (list.Next()) {
        }
        list.Select(saved - 1);
        list.index = saved;
    }
    EXPECT_EQ(visited, (std::vector<int32_t>{1, 2, 3}));
}

TEST_F(TDynaArrayTest, InsertAtCountAppendsAndBeyondReturnsNull) {
    Fill(2);
    TRecord* appended = list.Insert(2);
    ASSERT_NE(appended, nullptr);
    appended->value = 9;
    EXPECT_EQ(Values(), (std::vector<int32_t>{1, 2, 9}));
    EXPECT_EQ(list.Insert(4), nullptr);
    EXPECT_EQ(list.Insert(-1), nullptr);
    EXPECT_EQ(Values(), (std::vector<int32_t>{1, 2, 9}));
}

TEST_F(TDynaArrayTest, InsertInTheMiddleMovesTheRestUp) {
    Fill(3);
    TRecord* inserted = list.Insert(1);
    EXPECT_EQ(inserted, cur);
    EXPECT_EQ(list.index, 1);
    EXPECT_EQ(inserted->value, 0);
    EXPECT_EQ(Values(), (std::vector<int32_t>{1, 0, 2, 3}));
}

TEST_F(TDynaArrayTest, DeleteDeselectsWhateverWasSelected) {
    Fill(3);
    list.Select(2);
    list.Delete(0);
    EXPECT_EQ(list.index, -1);
    EXPECT_EQ(list.current, nullptr);
    EXPECT_EQ(cur, nullptr);
    EXPECT_EQ(Values(), (std::vector<int32_t>{2, 3}));
    list.Delete(5);  // out of range: nothing
    EXPECT_EQ(list.count, 2u);
}

TEST_F(TDynaArrayTest, DeletingTheLastElementFreesTheBlockAndAppendStartsFresh) {
    Fill(1);
    list[0].text = "owned";
    list.Delete(0);
    EXPECT_EQ(list.count, 0u);
    EXPECT_EQ(list.data.capacity(), 0u);
    TRecord* fresh = list.Append();
    EXPECT_EQ(fresh->value, 0);
    EXPECT_TRUE(fresh->text.empty());
}

TEST_F(TDynaArrayTest, AdvanceStopsOnTheLastElement) {
    Fill(2);
    list.Clear();
    Fill(2);
    list.index = -1;
    EXPECT_TRUE(list.Advance());  // from a fresh cursor to element 0
    EXPECT_EQ(list.index, 0);
    EXPECT_TRUE(list.Advance());
    EXPECT_EQ(list.index, 1);
    EXPECT_FALSE(list.Advance());
    EXPECT_EQ(list.index, 1);
    EXPECT_EQ(cur->value, 2);
    list.index = -2;
    EXPECT_FALSE(list.Advance());
}

TEST_F(TDynaArrayTest, SwapExchangesElementsAndKeepsTheCursor) {
    Fill(3);
    list.Select(1);
    list.Swap(0, 2);
    EXPECT_EQ(Values(), (std::vector<int32_t>{3, 2, 1}));
    EXPECT_EQ(list.index, 1);
    list.Swap(0, 3);  // out of range: nothing
    EXPECT_EQ(Values(), (std::vector<int32_t>{3, 2, 1}));
}

TEST_F(TDynaArrayTest, ClearResetsEverythingAndMirrorsNull) {
    Fill(150);
    EXPECT_EQ(list.capacityBytes, static_cast<int32_t>(200 * sizeof(TRecord)));
    list.Clear();
    EXPECT_EQ(list.count, 0u);
    EXPECT_EQ(list.capacityBytes, 0);
    EXPECT_EQ(cur, nullptr);
    EXPECT_EQ(list.index, -1);
}

TEST_F(TDynaArrayTest, MovedAndCopiedListsKeepAValidCursor) {
    Fill(3);
    list.Select(1);
    TDynaArray<TRecord> copy(list);
    ASSERT_NE(copy.current, nullptr);
    EXPECT_EQ(copy.current->value, 2);
    EXPECT_NE(copy.current, list.current);
    TDynaArray<TRecord> moved(std::move(copy));
    ASSERT_NE(moved.current, nullptr);
    EXPECT_EQ(moved.current->value, 2);
    EXPECT_EQ(copy.count, 0u);
}

TEST_F(TDynaArrayTest, AMillionAppendsStayLinear) {
    // Geometric growth: a large list is built without quadratic copying; the
    // reported block size still follows the stepped rule.
    for (int i = 0; i < 1000000; ++i) list.Append()->value = i;
    EXPECT_EQ(list.count, 1000000u);
    EXPECT_EQ(list[999999].value, 999999);
    EXPECT_EQ(list.capacityBytes, static_cast<int32_t>(1000000 * sizeof(TRecord)));
}

}  // namespace
