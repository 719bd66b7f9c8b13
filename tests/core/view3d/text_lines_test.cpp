#include "view3d/text_lines.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>

namespace velmor {
namespace {

// Hands out its bytes a few at a time, as a pipe or a slow file may.
class TrickleSource : public ByteSource {
public:
    explicit TrickleSource(std::string_view bytes) : m_bytes(bytes) {}
    size_t Read(void* buffer, size_t n) override {
        const size_t count = std::min({n, m_bytes.size() - m_position, size_t{997}});
        std::memcpy(buffer, m_bytes.data() + m_position, count);
        m_position += count;
        return count;
    }
    bool Rewind() override {
        m_position = 0;
        return true;
    }
    long long Size() const override { return -1; }

private:
    std::string_view m_bytes;
    size_t m_position = 0;
};

// Lines as a 256-byte fgets buffer reads them, each cut at its first zero byte.
std::vector<std::string> ReferenceLines(const std::string& bytes) {
    std::vector<std::string> lines;
    size_t at = 0;
    while (at < bytes.size()) {
        size_t length = std::min<size_t>(255, bytes.size() - at);
        const size_t feed = bytes.find('\n', at);
        if (feed != std::string::npos && feed < at + length) length = feed - at + 1;
        std::string line = bytes.substr(at, length);
        lines.push_back(line.substr(0, line.find('\0')));
        at += length;
    }
    return lines;
}

TEST(TextLinesTest, LinesAcrossBufferRefillsMatchA256ByteLineBuffer) {
    std::mt19937 random(11);
    std::string bytes;
    while (bytes.size() < 3u << 20) {  // several refills of the one-megabyte buffer
        const int kind = static_cast<int>(random() % 10);
        const size_t length = kind == 0 ? 200 + random() % 400 : random() % 80;
        for (size_t i = 0; i < length; ++i) {
            const unsigned r = random() % 100;
            bytes += r == 0 ? '\0' : r < 3 ? '\r' : static_cast<char>('a' + r % 26);
        }
        if (kind != 1) bytes += '\n';
    }
    const std::vector<std::string> expected = ReferenceLines(bytes);

    MemorySource memory(bytes);
    TrickleSource trickle(bytes);
    for (ByteSource* source :
         {static_cast<ByteSource*>(&memory), static_cast<ByteSource*>(&trickle)}) {
        LineReader reader(*source);
        for (int pass = 0; pass < 2; ++pass) {
            std::string_view line;
            size_t n = 0;
            while (reader.Next(&line)) {
                ASSERT_LT(n, expected.size());
                ASSERT_EQ(line, expected[n]) << "line " << n;
                ++n;
            }
            EXPECT_EQ(n, expected.size());
            ASSERT_TRUE(reader.Rewind());
        }
    }
}

TEST(TextLinesTest, KeywordRestAndTokens) {
    LineTokens tokens("\t, vertex  1,2\t3 \r\n");
    EXPECT_EQ(tokens.Keyword(), "vertex");
    EXPECT_EQ(tokens.Rest(), " 1,2\t3 ");  // after the keyword's one separator, blanks kept
    EXPECT_EQ(tokens.NextToken(), "1");
    EXPECT_EQ(tokens.NextToken(), "2");
    EXPECT_EQ(tokens.NextToken(), "3");
    EXPECT_EQ(tokens.NextToken(), "");
    EXPECT_EQ(tokens.NextToken(), "");
    EXPECT_EQ(LineTokens("g").Rest(), "");
    EXPECT_EQ(LineTokens("g\n").Rest(), "");
    EXPECT_EQ(LineTokens("").Keyword(), "");
    EXPECT_EQ(LineTokens("usemtl Glass Red\r\n").Rest(), "Glass Red");
}

TEST(TextLinesTest, NumbersReadLikeTheCLibraryButAlwaysWithAPoint) {
    EXPECT_EQ(ParseNumberPrefix("1.5"), 1.5);
    EXPECT_EQ(ParseNumberPrefix("+2e3x"), 2000.0);
    EXPECT_EQ(ParseNumberPrefix("-.25"), -0.25);
    EXPECT_EQ(ParseNumberPrefix("1,5"), 1.0);  // a comma is no decimal point
    EXPECT_EQ(ParseNumberPrefix("abc"), 0.0);
    EXPECT_EQ(ParseNumberPrefix("0x10"), 0.0);  // decimal only
    EXPECT_EQ(ParseNumberPrefix("+-1"), 0.0);
    EXPECT_EQ(ParseNumberPrefix(""), 0.0);
    EXPECT_EQ(ParseNumberPrefix("1e999"), INFINITY);
    EXPECT_EQ(ParseNumberPrefix("-1e999"), -INFINITY);
    EXPECT_EQ(ParseNumberPrefix("1e-999"), 0.0);
    EXPECT_EQ(ParseNumberPrefix("0.000001e-400"), 0.0);
    EXPECT_EQ(ParseNumberPrefix("123456789e301"), INFINITY);
    EXPECT_TRUE(std::isnan(ParseNumberPrefix("nan")));
    size_t used = 0;
    ParseNumberPrefix("  -3.5e1rest", &used);
    EXPECT_EQ(used, 8u);

    float v[3] = {9, 9, 9};
    EXPECT_EQ(ScanNumbers(" 1 -2\t3.5 4", v, 3), 3);
    EXPECT_EQ(v[2], 3.5f);
    EXPECT_EQ(ScanNumbers("1-2 x", v, 3), 2);  // "%f %f %f" stops at the first non-number
    EXPECT_EQ(v[1], -2.0f);
    EXPECT_EQ(ScanNumbers("1,2,3", v, 3), 1);
}

}  // namespace
}  // namespace velmor
