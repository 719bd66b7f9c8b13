#include "core/surface/records.h"

namespace velmor {

namespace {

// Offsets of n1, n2, cv and k by record version; -1 for a version outside 0..4.
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
            return {int(offsetof(FIXED_DATA3, n1)), int(offsetof(FIXED_DATA3, n2)),
                    int(offsetof(FIXED_DATA3, cv)), int(offsetof(FIXED_DATA3, k))};
        case kRecordVersion3:
            return {int(offsetof(FIXED_DATA4, n1)), int(offsetof(FIXED_DATA4, n2)),
                    int(offsetof(FIXED_DATA4, cv)), int(offsetof(FIXED_DATA4, k))};
        case kRecordVersion4:
            return {int(offsetof(FIXED_DATA5, n1)), int(offsetof(FIXED_DATA5, n2)),
                    int(offsetof(FIXED_DATA5, cv)), int(offsetof(FIXED_DATA5, k))};
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

double ReadWavelength(const RecordPair& pair, int recordVersion) {
    switch (recordVersion) {
        case kRecordVersion0:
            return ReadAt(pair, int(offsetof(FIXED_DATA, wavelength)));
        case kRecordVersion1:
            return ReadAt(pair, int(offsetof(FIXED_DATA2, wavelength)));
        case kRecordVersion2:
            return ReadAt(pair, int(offsetof(FIXED_DATA3, wavelength)));
        case kRecordVersion3:
            return ReadAt(pair, int(offsetof(FIXED_DATA4, wavelength)));
        case kRecordVersion4:
            return ReadAt(pair, int(offsetof(FIXED_DATA5, wavelength)));
        default:
            return 0;
    }
}

std::size_t FixedDataSize(int recordVersion) {
    switch (recordVersion) {
        case kRecordVersion0:
            return sizeof(FIXED_DATA);
        case kRecordVersion1:
            return sizeof(FIXED_DATA2);
        case kRecordVersion2:
            return sizeof(FIXED_DATA3);
        case kRecordVersion3:
            return sizeof(FIXED_DATA4);
        case kRecordVersion4:
            return sizeof(FIXED_DATA5);
        default:
            return kFixedDataAreaSize;
    }
}

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
