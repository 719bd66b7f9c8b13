// The [RECORDS] rows of a session: those that differ from a fresh load, applied back byte for
// byte, and the rows a version lacks or a field refuses named and left as they were.
#include "core/surface/session_records.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "core/surface/record_text.h"

namespace velmor {
namespace {

// Every record version: the rows that differ from the fresh pair are listed (pointer rows never),
// and applied to the fresh pair they give the changed pair byte for byte.
TEST(SessionRecordsTest, ChangedRowsGiveTheRecordsBackByteForByte) {
    for (int version = 0; version <= 4; ++version) {
        SCOPED_TRACE(version);
        auto fresh = std::make_unique<RecordPair>();
        fresh->ud.x = 1.0;
        auto current = std::make_unique<RecordPair>();
        CopyRecordPair(*current, *fresh);
        current->ud.x = 0.25;
        current->ud.l = -0.5;
        int changed = 2;
        std::string rewrite;
        for (const RecordRow& row : FixedDataRows(version)) {
            const char* text = nullptr;
            if (row.name == "param[3]" || row.name == "cv") text = "0.125000";
            if (row.name == "type") text = "5";
            if (row.kind == RowKind::kChars && row.size >= 20 && changed < 6)
                text = "N-BK7 \xE3\x83\xAC";
            if (row.kind == RowKind::kPointer) text = "00000000DEADBEEF";
            if (text == nullptr) continue;
            ASSERT_TRUE(TextToField(row, current->fd, text, &rewrite)) << row.name;
            if (row.kind != RowKind::kPointer) ++changed;
        }
        const std::vector<SessionEntry> rows = ChangedRecordRows(*current, *fresh, version);
        EXPECT_EQ(int(rows.size()), changed);
        EXPECT_EQ(rows[0].key, "x");
        EXPECT_EQ(rows[0].value, "0.250000");

        auto applied = std::make_unique<RecordPair>();
        CopyRecordPair(*applied, *fresh);
        std::vector<std::string> problems;
        EXPECT_EQ(ApplyRecordRows(*applied, version, rows, &problems), changed);
        EXPECT_TRUE(problems.empty());
        // The pointer row was not stored: set it as the current pair has it, then compare.
        for (const RecordRow& row : FixedDataRows(version)) {
            if (row.kind == RowKind::kPointer)
                std::memcpy(applied->fd + row.offset, current->fd + row.offset, row.size);
        }
        EXPECT_EQ(std::memcmp(&applied->ud, &current->ud, sizeof(USER_DATA)), 0);
        EXPECT_EQ(std::memcmp(applied->fd, current->fd, FixedDataSize(version)), 0);
    }
}

TEST(SessionRecordsTest, RowsTheVersionLacksAndTextsAFieldRefusesAreNamedAndLeftAsTheyWere) {
    auto pair = std::make_unique<RecordPair>();
    pair->ud.x = 1.0;
    std::vector<std::string> problems;
    const std::vector<SessionEntry> rows = {
        {"param[200]", "1.000000"},            // version 0 has param[0] .. param[7]
        {"x", "2.5"},                          // applied
        {"type", "99999999999"},               // does not fit an int
        {"string[20]", std::string(40, 'a')},  // longer than the field
        {"y", "1e400"},                        // no double
        {"nonsense", "1"},
    };
    EXPECT_EQ(ApplyRecordRows(*pair, 0, rows, &problems), 1);
    ASSERT_EQ(problems.size(), 5u);
    EXPECT_NE(problems[0].find("param[200]=1.000000: no such row in USER_DATA or FIXED_DATA "
                               "(record version 0)"),
              std::string::npos)
        << problems[0];
    EXPECT_NE(problems[1].find("type=99999999999: the int field cannot hold this text"),
              std::string::npos)
        << problems[1];
    EXPECT_NE(problems[2].find("string[20]="), std::string::npos);
    EXPECT_NE(problems[3].find("y=1e400"), std::string::npos);
    EXPECT_NE(problems[4].find("nonsense=1: no such row"), std::string::npos);
    EXPECT_EQ(pair->ud.x, 2.5);
    EXPECT_EQ(pair->ud.y, 0.0);
    EXPECT_EQ(pair->ud.string[0], '\0');
    EXPECT_EQ(pair->Type(), 0);
}

}  // namespace
}  // namespace velmor
