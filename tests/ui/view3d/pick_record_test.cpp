// Choosing the picked item among selection hit records.
#include "ui/view3d/pick_record.h"

#include <gtest/gtest.h>

#include <vector>

#include "ui/view3d/dialog_3d.h"

namespace velmor {
namespace {

constexpr std::uint32_t kDepth = 0x7FFF0000u;

// Hit records as GL_SELECT writes them: name count, min depth (not used), max depth, names.
struct Hits {
    std::vector<std::uint32_t> words;
    int count = 0;
    Hits& Add(std::uint32_t maxDepth, std::vector<std::uint32_t> names) {
        words.insert(words.end(), {static_cast<std::uint32_t>(names.size()), 0, maxDepth});
        words.insert(words.end(), names.begin(), names.end());
        return ++count, *this;
    }
    PickChoice Choose(int n = -2) const {
        return ChoosePickRecord(words.data(), words.size(), n == -2 ? count : n);
    }
};

TEST(PickRecord, NearestWinsTiesGoToPointEdgeFaceLongRecordsSkipped) {
    Hits hits;
    hits.Add(kDepth, {0, kPickFace, 0, 3}).Add(kDepth, {0, kPickLine, 0, 3, 1});
    hits.Add(kDepth, {0, kPickPoint, 0, 3, 2}).Add(kDepth, {0, kPickPoint, 0, 4, 0});
    PickChoice choice = hits.Choose();
    EXPECT_EQ(choice.names[1], kPickPoint);
    EXPECT_EQ(choice.names[3], 3u);  // equal again: the first point stays
    choice = hits.Add(kDepth - 0x10000, {0, kPickFace, 1, 7}).Choose();  // a face clearly nearer
    EXPECT_EQ(choice.count, 4);
    EXPECT_EQ(choice.names[1], kPickFace);
    EXPECT_EQ(choice.names[4], 0u);  // nothing left over from the point record
    // Depths are compared as single-precision fractions of 2^31: the last bits make a tie.
    hits = Hits().Add(kDepth + 1, {0, kPickFace, 0, 0}).Add(kDepth + 2, {0, kPickLine, 0, 0, 0});
    EXPECT_EQ(hits.Choose().names[1], kPickLine);

    hits = Hits().Add(1, {0, kPickPoint, 0, 0, 0, 0, 0, 0, 0, 0, 0});  // 11 names: skipped
    EXPECT_FALSE(hits.Choose().found);
    EXPECT_EQ(hits.Add(kDepth, {0, kPickFace, 2, 5}).Choose().names[1], kPickFace);
    EXPECT_FALSE(hits.Choose(0).found);
}

TEST(PickRecord, NeverReadsPastTheBufferAndSurvivesAnOverflow) {
    // The buffer ran full (count -1) in the third record, which holds unwritten words.
    Hits hits;
    hits.Add(kDepth, {0, kPickFace, 0, 0}).Add(kDepth, {0, kPickLine, 0, 0, 2});
    std::vector<std::uint32_t> words = hits.words;
    words.insert(words.end(), {5, 0, 1, 0, kPickPoint});
    words.resize(words.size() + 3, kUnwrittenSelectWord);
    EXPECT_EQ(ChoosePickRecord(words.data(), words.size(), -1).names[1], kPickLine);
    EXPECT_FALSE(ChoosePickRecord(words.data() + hits.words.size() + 5, 3, -1).found);
    // A count claiming more records than the buffer holds, and a record cut by the end.
    words.resize(hits.words.size() + 4);
    EXPECT_EQ(ChoosePickRecord(words.data(), words.size(), 9).names[1], kPickLine);
    EXPECT_FALSE(ChoosePickRecord(words.data(), 2, 1).found);
}

}  // namespace
}  // namespace velmor
