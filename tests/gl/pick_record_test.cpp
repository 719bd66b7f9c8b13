// Choosing the picked item among selection hit records.
#include "view3d/pick_record.h"

#include <gtest/gtest.h>

#include <vector>

#include "view3d/dialog_3d.h"

namespace velmor {
namespace {

struct Hits {
    std::vector<std::uint32_t> words;
    int count = 0;
    void Add(std::uint32_t maxDepth, std::vector<std::uint32_t> names) {
        words.push_back(static_cast<std::uint32_t>(names.size()));
        words.push_back(0);  // min depth: not used
        words.push_back(maxDepth);
        words.insert(words.end(), names.begin(), names.end());
        ++count;
    }
};

constexpr std::uint32_t kDepth = 0x7FFF0000u;

TEST(PickRecord, NearestWinsAndTiesGoToPointThenEdgeThenFace) {
    Hits hits;
    hits.Add(kDepth, {0, kPickFace, 0, 3});
    hits.Add(kDepth, {0, kPickLine, 0, 3, 1});
    hits.Add(kDepth, {0, kPickPoint, 0, 3, 2});
    hits.Add(kDepth, {0, kPickPoint, 0, 4, 0});  // equal again: the first point stays
    PickChoice choice = ChoosePickRecord(hits.words.data(), hits.words.size(), hits.count);
    ASSERT_TRUE(choice.found);
    EXPECT_EQ(choice.count, 5);
    EXPECT_EQ(choice.names[1], kPickPoint);
    EXPECT_EQ(choice.names[3], 3u);
    EXPECT_EQ(choice.names[4], 2u);

    // A face clearly nearer than the point wins.
    hits.Add(kDepth - 0x10000, {0, kPickFace, 1, 7});
    choice = ChoosePickRecord(hits.words.data(), hits.words.size(), hits.count);
    EXPECT_EQ(choice.count, 4);
    EXPECT_EQ(choice.names[1], kPickFace);
    EXPECT_EQ(choice.names[2], 1u);
    EXPECT_EQ(choice.names[4], 0u);  // nothing left over from the point record

    // Depths are compared as single-precision fractions of 2^31: a difference in the last
    // bits is a tie, decided by the type.
    Hits close;
    close.Add(kDepth + 1, {0, kPickFace, 0, 0});
    close.Add(kDepth + 2, {0, kPickLine, 0, 0, 0});
    choice = ChoosePickRecord(close.words.data(), close.words.size(), close.count);
    EXPECT_EQ(choice.names[1], kPickLine);
}

TEST(PickRecord, RecordsWithMoreThanTenNamesAreSkipped) {
    Hits hits;
    hits.Add(1, {0, kPickPoint, 0, 0, 0, 0, 0, 0, 0, 0, 0});  // 11 names, nearest
    hits.Add(kDepth, {0, kPickFace, 2, 5});
    const PickChoice choice = ChoosePickRecord(hits.words.data(), hits.words.size(), hits.count);
    ASSERT_TRUE(choice.found);
    EXPECT_EQ(choice.names[1], kPickFace);
    EXPECT_EQ(choice.names[2], 2u);

    Hits only;
    only.Add(1, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10});
    EXPECT_FALSE(ChoosePickRecord(only.words.data(), only.words.size(), only.count).found);
    EXPECT_FALSE(ChoosePickRecord(only.words.data(), only.words.size(), 0).found);
}

TEST(PickRecord, NeverReadsPastTheBufferAndSurvivesAnOverflow) {
    // The buffer ran full in the middle of the third record; the rest stays unwritten.
    Hits hits;
    hits.Add(kDepth, {0, kPickFace, 0, 0});
    hits.Add(kDepth, {0, kPickLine, 0, 0, 2});
    std::vector<std::uint32_t> words = hits.words;
    words.insert(words.end(), {5, 0, 1, 0, kPickPoint});
    const size_t size = words.size() + 3;
    words.resize(size, kUnwrittenSelectWord);
    PickChoice choice = ChoosePickRecord(words.data(), size, -1);
    ASSERT_TRUE(choice.found);
    EXPECT_EQ(choice.names[1], kPickLine);  // not the cut point record, though nearer

    std::vector<std::uint32_t> unwritten(16, kUnwrittenSelectWord);
    EXPECT_FALSE(ChoosePickRecord(unwritten.data(), unwritten.size(), -1).found);

    // A count claiming more records than the buffer holds, and a record cut by the end.
    words = hits.words;
    words.insert(words.end(), {5, 0, 1, 0});
    choice = ChoosePickRecord(words.data(), words.size(), 9);
    EXPECT_EQ(choice.names[1], kPickLine);
    EXPECT_FALSE(ChoosePickRecord(words.data(), 2, 1).found);
    EXPECT_FALSE(ChoosePickRecord(words.data(), 0, 1).found);
}

}  // namespace
}  // namespace velmor
