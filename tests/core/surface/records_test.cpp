#include <gtest/gtest.h>

#include "surface/records.h"

namespace velmor {
namespace {

TEST(RecordsTest, OpticalFieldsFollowTheRecordVersion) {
    RecordPair pair;
    WriteN1(pair, kRecordVersion2, 1.25);
    WriteN2(pair, kRecordVersion2, 1.75);
    WriteCv(pair, kRecordVersion2, 0.5);
    double n1 = 0, n2 = 0, cv = 0;
    std::memcpy(&n1, pair.fd + 1328, 8);
    std::memcpy(&n2, pair.fd + 1336, 8);
    std::memcpy(&cv, pair.fd + 1344, 8);
    EXPECT_EQ(n1, 1.25);
    EXPECT_EQ(n2, 1.75);
    EXPECT_EQ(cv, 0.5);
    EXPECT_EQ(ReadN1(pair, kRecordVersion3), 1.25);
    EXPECT_EQ(ReadN1(pair, kRecordVersion0), 0.0);

    WriteK(pair, kRecordVersion1, -1.0);
    EXPECT_EQ(pair.Fd1()->k, -1.0);
    EXPECT_EQ(OpticalOffsets(4).n1, -1);
    WriteN1(pair, 4, 9.0);  // no field for an unknown version: nothing written
    EXPECT_EQ(ReadN1(pair, 4), 0.0);
}

}  // namespace
}  // namespace velmor
