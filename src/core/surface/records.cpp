#include "core/surface/records.h"

namespace velmor {

namespace {

// Offsets of n1, n2, cv and k by record version; -1 for a version outside 0..3.
struct OpticalFieldOffsets {
    int n1, n2, cv, k;
};

OpticalFieldOffsets OpticalOffsets(int recordVersion) {
    switch (recordVersion) {
        case kRecordVersion0:
            return {int(offsetof(FIXED_DATA, n1)), int(offsetof(FIXED_DATA, n2)),
                    int(offsetof(FIXED_DATA, cv)), int(offsetof(FIXED_DATA, k))};
        case kRecordVersion1:
            return {int(offsetof(FIXED_DATA2, n1)), int(offsetof(FIXED_DATA2, n2)),
                    int(offsetof(FIXED_DATA2, cv)), int(offsetof(FIXED_DATA2, k))};
        case kRecordVersion2:
        case kRecordVersion3:
            return {int(offsetof(FIXED_DATA3, n1)), int(offsetof(FIXED_DATA3, n2)),
                    int(offsetof(FIXED_DATA3, cv)), int(offsetof(FIXED_DATA3, k))};
        default:
            return {-1, -1, -1, -1};
    }
}

double ReadAt(const RecordPair& pair, int offset) {
    double value = 0;
    if (offset >= 0) std::memcpy(&value, pair.fd + offset, sizeof value);
    return value;
}

void WriteAt(RecordPair& pair, int offset, double value) {
    if (offset >= 0) std::memcpy(pair.fd + offset, &value, sizeof value);
}

}  // namespace

double ReadN1(const RecordPair& p, int v) {
    return ReadAt(p, OpticalOffsets(v).n1);
}
double ReadN2(const RecordPair& p, int v) {
    return ReadAt(p, OpticalOffsets(v).n2);
}
void WriteN1(RecordPair& p, int v, double x) {
    WriteAt(p, OpticalOffsets(v).n1, x);
}
void WriteN2(RecordPair& p, int v, double x) {
    WriteAt(p, OpticalOffsets(v).n2, x);
}
void WriteCv(RecordPair& p, int v, double x) {
    WriteAt(p, OpticalOffsets(v).cv, x);
}
void WriteK(RecordPair& p, int v, double x) {
    WriteAt(p, OpticalOffsets(v).k, x);
}

}  // namespace velmor
