#include "surface/records.h"

#include <gtest/gtest.h>

namespace velmor {
namespace {

TEST(RecordsTest, OpticalFieldsFollowTheRecordVersion) {
    RecordPair pair;
    WriteN1(pair, kRecordVersion2, 1.25);
    WriteN2(pair, kRecordVersion2, 1.75);
    WriteCv(pair, kRecordVersion2, 0.5);
    double n[3] = {};
    std::memcpy(n, pair.fd + 1328, sizeof n);  // n1, n2, cv at 1328, 1336, 1344
    EXPECT_EQ(n[0], 1.25);
    EXPECT_EQ(n[1], 1.75);
    EXPECT_EQ(n[2], 0.5);
    EXPECT_EQ(ReadN1(pair, kRecordVersion3), 1.25);
    EXPECT_EQ(ReadN1(pair, kRecordVersion0), 0.0);
    WriteK(pair, kRecordVersion1, -1.0);
    EXPECT_EQ(pair.Fd1()->k, -1.0);
    WriteN1(pair, 4, 9.0);  // no field for an unknown version: nothing written
    EXPECT_EQ(ReadN1(pair, 4), 0.0);
}

}  // namespace
}  // namespace velmor
