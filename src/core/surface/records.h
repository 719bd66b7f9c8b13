// The records a surface library receives, pinned to their bytes, and the record pairs the
// host keeps. The layouts themselves live in the C header users build their libraries with.
#pragma once

#include <cstddef>
#include <cstring>

#include "user_surface.h"

namespace velmor {

static_assert(sizeof(int) == 4 && sizeof(double) == 8 && sizeof(void*) == 8);

static_assert(sizeof(USER_DATA) == 192);
static_assert(offsetof(USER_DATA, x) == 0 && offsetof(USER_DATA, n) == 40);
static_assert(offsetof(USER_DATA, path) == 72 && offsetof(USER_DATA, sag1) == 80);
static_assert(offsetof(USER_DATA, index) == 96 && offsetof(USER_DATA, dndz) == 120);
static_assert(offsetof(USER_DATA, rel_surf_tran) == 128 && offsetof(USER_DATA, udreserved4) == 160);
static_assert(offsetof(USER_DATA, string) == 168);

static_assert(sizeof(FIXED_DATA) == 1816);
static_assert(offsetof(FIXED_DATA, wave) == 12 && offsetof(FIXED_DATA, wavelength) == 16);
static_assert(offsetof(FIXED_DATA, n1) == 32 && offsetof(FIXED_DATA, n2) == 40);
static_assert(offsetof(FIXED_DATA, cv) == 48 && offsetof(FIXED_DATA, k) == 72);
static_assert(offsetof(FIXED_DATA, param) == 80 && offsetof(FIXED_DATA, fdreserved1) == 152);
static_assert(offsetof(FIXED_DATA, xdata) == 184 && offsetof(FIXED_DATA, glass) == 1792);

static_assert(sizeof(FIXED_DATA2) == 2368);
static_assert(offsetof(FIXED_DATA2, unit) == 16 && offsetof(FIXED_DATA2, wavelength) == 24);
static_assert(offsetof(FIXED_DATA2, n1) == 40 && offsetof(FIXED_DATA2, n2) == 48);
static_assert(offsetof(FIXED_DATA2, cv) == 56 && offsetof(FIXED_DATA2, k) == 80);
static_assert(offsetof(FIXED_DATA2, ireserved) == 88 && offsetof(FIXED_DATA2, dbreserved) == 168);
static_assert(offsetof(FIXED_DATA2, param) == 328 && offsetof(FIXED_DATA2, xdata) == 736);
static_assert(offsetof(FIXED_DATA2, glass) == 2344);

static_assert(sizeof(FIXED_DATA3) == 7416);
static_assert(offsetof(FIXED_DATA3, is_air) == 32 && offsetof(FIXED_DATA3, ireserved) == 36);
static_assert(offsetof(FIXED_DATA3, did_polar) == 436 &&
              offsetof(FIXED_DATA3, max_extradata) == 444);
static_assert(offsetof(FIXED_DATA3, Exr) == 448 && offsetof(FIXED_DATA3, Ewi) == 504);
static_assert(offsetof(FIXED_DATA3, dbreserved) == 512 &&
              offsetof(FIXED_DATA3, wavelength) == 1312);
static_assert(offsetof(FIXED_DATA3, n1) == 1328 && offsetof(FIXED_DATA3, n2) == 1336);
static_assert(offsetof(FIXED_DATA3, cv) == 1344 && offsetof(FIXED_DATA3, k) == 1368);
static_assert(offsetof(FIXED_DATA3, param) == 1376 && offsetof(FIXED_DATA3, xdata) == 2984);
static_assert(offsetof(FIXED_DATA3, glass) == 6992 && offsetof(FIXED_DATA3, comment) == 7192);
static_assert(offsetof(FIXED_DATA3, int_data) == 7392 && offsetof(FIXED_DATA3, db_data) == 7400);
static_assert(offsetof(FIXED_DATA3, c_data) == 7408);

static_assert(sizeof(FIXED_DATA4) == 45808);
static_assert(offsetof(FIXED_DATA4, comment) == 7192);
static_assert(offsetof(FIXED_DATA4, datasurf_numvalues) == 7392);
static_assert(offsetof(FIXED_DATA4, datasurf_values) == 7400);

static_assert(sizeof(FIXED_DATA5) == 42240);
static_assert(offsetof(FIXED_DATA5, n1) == 1328 && offsetof(FIXED_DATA5, n2) == 1336);
static_assert(offsetof(FIXED_DATA5, cv) == 1344 && offsetof(FIXED_DATA5, k) == 1368);
static_assert(offsetof(FIXED_DATA5, param) == 1376 && offsetof(FIXED_DATA5, glass) == 3424);
static_assert(offsetof(FIXED_DATA5, comment) == 3624);
static_assert(offsetof(FIXED_DATA5, datasurf_numvalues) == 3824);
static_assert(offsetof(FIXED_DATA5, datasurf_values) == 3832);

// Record version: which FIXED_DATA layout and entry point are in use.
enum RecordVersion : int {
    kRecordVersion0 = 0,  // UserDefinedSurface,  FIXED_DATA (also the built-in surface)
    kRecordVersion1 = 1,  // UserDefinedSurface2, FIXED_DATA2
    kRecordVersion2 = 2,  // UserDefinedSurface3, FIXED_DATA3
    kRecordVersion3 = 3,  // UserDefinedSurface4, FIXED_DATA4
    kRecordVersion4 = 4,  // UserDefinedSurface5, FIXED_DATA5
};
inline constexpr int kLastRecordVersion = kRecordVersion4;

// Request codes carried in FIXED_DATA::type.
enum SurfaceRequest : int {
    kRequestName = 0,       // numb 0 name, numb 2 gradient-index question
    kRequestParamName = 1,  // numb = param element
    kRequestXdataName = 2,  // numb = xdata element
    kRequestSag = 3,
    kRequestParaxialTrace = 4,
    kRequestRealTrace = 5,
    kRequestIndex = 6,
    kRequestSafeData = 7,
};

// FIXED_DATA4 is the largest version: the area every version is read through.
constexpr std::size_t kFixedDataAreaSize = sizeof(FIXED_DATA4);
static_assert(sizeof(FIXED_DATA5) <= kFixedDataAreaSize);

// type, numb, surf and wave sit at the same offsets in every version.
static_assert(offsetof(FIXED_DATA, type) == offsetof(FIXED_DATA4, type));
static_assert(offsetof(FIXED_DATA, numb) == offsetof(FIXED_DATA4, numb));
static_assert(offsetof(FIXED_DATA, surf) == offsetof(FIXED_DATA4, surf));
static_assert(offsetof(FIXED_DATA, wave) == offsetof(FIXED_DATA4, wave));
static_assert(offsetof(FIXED_DATA5, wave) == offsetof(FIXED_DATA4, wave));

// One USER_DATA and one FIXED_DATA area as large as the largest version, read through the
// layout of the current record version. Fixed size, owned by value, passed by pointer.
struct RecordPair {
    USER_DATA ud{};
    alignas(8) unsigned char fd[kFixedDataAreaSize]{};

    FIXED_DATA* Fd0() { return reinterpret_cast<FIXED_DATA*>(fd); }
    FIXED_DATA2* Fd1() { return reinterpret_cast<FIXED_DATA2*>(fd); }
    FIXED_DATA3* Fd2() { return reinterpret_cast<FIXED_DATA3*>(fd); }
    FIXED_DATA4* Fd3() { return reinterpret_cast<FIXED_DATA4*>(fd); }
    FIXED_DATA5* Fd4() { return reinterpret_cast<FIXED_DATA5*>(fd); }

    int& Type() { return Fd0()->type; }
    int& Numb() { return Fd0()->numb; }
    int& Surf() { return Fd0()->surf; }
    int& Wave() { return Fd0()->wave; }
};

// Bytes of the FIXED_DATA record of the version (1816, 2368, 7416, 45808, 42240); the whole
// area (kFixedDataAreaSize) for a version outside 0..4.
std::size_t FixedDataSize(int recordVersion);

// Readers of n1 and n2 and writers of n1, n2, cv and k at the offsets of the record version.
// A version outside 0..4 reads 0 and writes nothing.
double ReadN1(const RecordPair& pair, int recordVersion);
double ReadN2(const RecordPair& pair, int recordVersion);
void WriteN1(RecordPair& pair, int recordVersion, double value);
void WriteN2(RecordPair& pair, int recordVersion, double value);
void WriteCv(RecordPair& pair, int recordVersion, double value);
void WriteK(RecordPair& pair, int recordVersion, double value);
// The wavelength of FIXED_DATA at the record version's offset; 0 for a version outside 0..4.
double ReadWavelength(const RecordPair& pair, int recordVersion);

// Copies both records of a pair (192 and 45808 bytes).
inline void CopyRecordPair(RecordPair& to, const RecordPair& from) {
    std::memcpy(&to.ud, &from.ud, sizeof to.ud);
    std::memcpy(to.fd, from.fd, sizeof to.fd);
}

}  // namespace velmor
