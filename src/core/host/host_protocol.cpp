#include "core/host/host_protocol.h"

#include <atomic>
#include <chrono>
#include <cstring>
#include <exception>
#include <random>

namespace velmor {

namespace {

void PutU32(unsigned char* out, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) out[i] = static_cast<unsigned char>(value >> (8 * i));
}

std::uint32_t GetU32(const unsigned char* in) {
    std::uint32_t value = 0;
    for (int i = 0; i < 4; ++i) value |= static_cast<std::uint32_t>(in[i]) << (8 * i);
    return value;
}

}  // namespace

FrameWriter& FrameWriter::U32(std::uint32_t value) {
    unsigned char bytes[4];
    PutU32(bytes, value);
    m_payload.insert(m_payload.end(), bytes, bytes + 4);
    return *this;
}

FrameWriter& FrameWriter::String(std::string_view text) {
    U32(static_cast<std::uint32_t>(text.size()));
    m_payload.insert(m_payload.end(), text.begin(), text.end());
    return *this;
}

std::vector<unsigned char> FrameWriter::Bytes() const {
    std::vector<unsigned char> bytes(kFrameHeaderBytes + m_payload.size());
    EncodeFrameHeader({kFrameMagic, m_op, static_cast<std::uint32_t>(m_payload.size())},
                      bytes.data());
    if (!m_payload.empty()) {
        std::memcpy(bytes.data() + kFrameHeaderBytes, m_payload.data(), m_payload.size());
    }
    return bytes;
}

bool FrameReader::U32(std::uint32_t* value) {
    if (m_size - m_at < 4) return false;
    *value = GetU32(m_data + m_at);
    m_at += 4;
    return true;
}

bool FrameReader::I32(std::int32_t* value) {
    std::uint32_t bits = 0;
    if (!U32(&bits)) return false;
    *value = static_cast<std::int32_t>(bits);
    return true;
}

bool FrameReader::U64(std::uint64_t* value) {
    std::uint32_t low = 0, high = 0;
    if (m_size - m_at < 8) return false;
    U32(&low);
    U32(&high);
    *value = static_cast<std::uint64_t>(high) << 32 | low;
    return true;
}

bool FrameReader::String(std::string* text) {
    const std::size_t start = m_at;
    std::uint32_t length = 0;
    if (!U32(&length)) return false;
    if (m_size - m_at < length) {
        m_at = start;
        return false;
    }
    text->assign(reinterpret_cast<const char*>(m_data + m_at), length);
    m_at += length;
    return true;
}

void EncodeFrameHeader(const FrameHeader& header, unsigned char out[kFrameHeaderBytes]) {
    PutU32(out, header.magic);
    PutU32(out + 4, header.op);
    PutU32(out + 8, header.payloadBytes);
}

FrameHeader DecodeFrameHeader(const unsigned char in[kFrameHeaderBytes]) {
    return {GetU32(in), GetU32(in + 4), GetU32(in + 8)};
}

namespace {

std::uint64_t RotateLeft(std::uint64_t value, int bits) {
    return value << bits | value >> (64 - bits);
}

// The last step of a hash: every bit of the lanes reaches every bit of the value.
std::uint64_t Finish(std::uint64_t h) {
    h ^= h >> 33;
    h *= 0xff51afd7ed558ccdull;
    h ^= h >> 33;
    h *= 0xc4ceb9fe1a85ec53ull;
    return h ^ (h >> 33);
}

}  // namespace

// Four chains of words at once (a single call's records are some 2 KB to 46 KB), joined into
// the fourth lane with the byte count.
void AnswerHash::AddBytes(const void* data, std::size_t size) {
    const auto* bytes = static_cast<const unsigned char*>(data);
    std::uint64_t chains[4] = {m_d, m_d ^ 0x243f6a8885a308d3ull, m_d ^ 0x13198a2e03707344ull,
                               m_d ^ 0xa4093822299f31d0ull};
    auto word = [&](std::size_t at) {
        std::uint64_t value;
        std::memcpy(&value, bytes + at, sizeof value);
        return value;
    };
    std::size_t at = 0;
    for (; at + 32 <= size; at += 32) {
        for (int k = 0; k < 4; ++k) chains[k] = Step(chains[k], word(at + 8 * k));
    }
    for (; at + 8 <= size; at += 8) chains[0] = Step(chains[0], word(at));
    if (at < size) {
        std::uint64_t last = 0;
        std::memcpy(&last, bytes + at, size - at);
        chains[1] = Step(chains[1], last);
    }
    m_d = Step(Step(Step(chains[0], chains[1]), chains[2] ^ RotateLeft(chains[3], 32)), size);
}

std::uint64_t AnswerHash::Value() const {
    return Finish(m_a ^ RotateLeft(m_b, 16) ^ RotateLeft(m_c, 32) ^ RotateLeft(m_d, 48));
}

void HashBatchAnswers(AnswerHash& hash, const BatchAnswers& answers, std::size_t n,
                      bool wholeRecords, const std::uint64_t* callNs) {
    for (std::size_t i = 0; i < n; ++i) {
        const int result = answers.result[i];
        const int type = answers.type[i];
        if (type == kRequestSag) {
            hash.AddSag(result, answers.value[0][i]);
        } else if (type == kRequestIndex) {
            hash.AddIndex(result, answers.value[0][i], answers.value[1][i], answers.value[2][i],
                          answers.value[3][i]);
        } else {
            hash.AddOther(result);
        }
        if (wholeRecords) hash.AddBytes(&answers.record[i], sizeof answers.record[i]);
        if (callNs != nullptr) hash.AddWord(callNs[i]);
    }
}

std::uint64_t SealReport(const HostStatus& status, std::uint64_t key) {
    AnswerHash hash;
    hash.AddWord(key);
    hash.AddWord(status.reportKind | static_cast<std::uint64_t>(status.reportRecord) << 32);
    hash.AddWord(static_cast<std::uint64_t>(status.reportOffset));
    hash.AddWord(status.reportRecordBytes | static_cast<std::uint64_t>(status.reportAccess) << 32);
    hash.AddWord(status.exceptionCode);
    hash.AddWord(status.exceptionAddress);
    return hash.Value();
}

bool ReadSealedFinished(const HostStatus& status, std::uint64_t key, std::uint64_t* finished) {
    const std::uint64_t seal =
        std::atomic_ref<const std::uint64_t>(status.finishedSeal).load(std::memory_order_acquire);
    const std::uint64_t count =
        std::atomic_ref<const std::uint64_t>(status.callsFinished).load(std::memory_order_acquire);
    if (SealFinished(count, key) != seal) return false;
    *finished = count;
    return true;
}

bool RequestSealed(const HostStatus& status, std::uint64_t key) {
    return SealRequest(status, key) == status.requestSeal;
}

bool ReportSealed(const HostStatus& status, std::uint64_t key) {
    return SealReport(status, key) == status.reportSeal;
}

std::uint64_t NewSealKey() {
    std::uint64_t key = 0;
    try {
        std::random_device device;
        key = static_cast<std::uint64_t>(device()) << 32 ^ device();
    } catch (const std::exception&) {
    }
    // Whatever the random source gave, mixed with the time and an address of this run.
    key ^= static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    key ^= reinterpret_cast<std::uintptr_t>(&key) * 0x9e3779b97f4a7c15ull;
    key = Finish(key);
    return key != 0 ? key : 0x5645'4c4d'4f52'2121ull;
}

const char* SurfaceRequestName(int type, int numb) {
    switch (type) {
        case kLoadRequestType:
            return "library load";
        case kRequestName:
            return numb == 0 ? "surface name" : numb == 2 ? "gradient-index question" : "question";
        case kRequestParamName:
            return "param name";
        case kRequestXdataName:
            return "xdata name";
        case kRequestSag:
            return "sag";
        case kRequestParaxialTrace:
            return "paraxial ray trace";
        case kRequestRealTrace:
            return "real ray trace";
        case kRequestIndex:
            return "index";
        case kRequestSafeData:
            return "safe data";
        default:
            return "request";
    }
}

}  // namespace velmor
