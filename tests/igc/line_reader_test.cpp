// The block reader must hand out exactly the lines that a plain split of the whole file gives,
// wherever the block boundaries fall: long lines, CR LF split across blocks, NUL bytes, no final
// line end.

#include "igc/LineReader.h"
#include "igc/RecordParsers.h"
#include "support/TestDirectory.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace igc {
namespace {

namespace fs = std::filesystem;

struct Line {
    int first; // the byte the reader peeks at before the line
    std::string text;
    long long end; // the position after the line and its line end
};

// The reader's line rules, on the whole file at once.
std::vector<Line> splitLines(std::string bytes) {
    bytes = bytes.substr(0, bytes.find('\x1A')); // Ctrl-Z ends the text
    std::vector<Line> lines;
    std::size_t at = 0;
    while (at < bytes.size()) {
        const std::size_t lf = bytes.find('\n', at);
        const std::size_t end = lf == std::string::npos ? bytes.size() : lf;
        std::string text = bytes.substr(at, end - at);
        if (lf != std::string::npos && !text.empty() && text.back() == '\r')
            text.pop_back();
        text = text.substr(0, kMaxLineLength);
        text = text.substr(0, text.find('\0'));
        // CR LF is read as LF: a line that is only its CR LF starts with LF.
        const bool crlf = bytes[at] == '\r' && at + 1 < bytes.size() && bytes[at + 1] == '\n';
        const int first = crlf ? '\n' : static_cast<unsigned char>(bytes[at]);
        at = std::min(end + 1, bytes.size());
        lines.push_back({first, text, static_cast<long long>(at)});
    }
    return lines;
}

std::string randomFile(std::mt19937& random) {
    const auto below = [&random](std::size_t bound) {
        return std::uniform_int_distribution<std::size_t>(0, bound - 1)(random);
    };
    std::string bytes;
    const std::size_t lines = below(400);
    for (std::size_t i = 0; i < lines; ++i) {
        const std::size_t kind = below(100);
        if (kind == 0) {
            // Longer than a read block: crosses block boundaries with nothing to keep there.
            std::string text(200000 + below(500000), 'L');
            text[below(text.size())] = '\r';
            bytes += text;
        } else {
            const std::size_t length = kind < 10 ? 250 + below(11) : below(120);
            for (std::size_t k = 0; k < length; ++k) {
                const std::size_t c = below(100);
                bytes += c == 0 ? '\0' : c == 1 ? '\r' : static_cast<char>('0' + c % 43);
            }
        }
        const std::size_t ending = below(10);
        bytes += ending < 5 ? "\r\n" : ending < 8 ? "\n" : ending < 9 ? "\r\r\n" : "\r";
    }
    if (below(3) == 0 && !bytes.empty())
        bytes.pop_back(); // no final line end
    if (below(4) == 0 && !bytes.empty())
        bytes.insert(below(bytes.size()), 1, '\x1A'); // Ctrl-Z somewhere: the rest is not read
    return bytes;
}

TEST(LineReader, GivesTheLinesOfAPlainSplit) {
    std::mt19937 random(7);
    const fs::path dir = testing_support::freshTestDirectory("igc-line-reader-");
    const fs::path path = dir / "lines.igc";
    for (int round = 0; round < 25; ++round) {
        SCOPED_TRACE(round);
        const std::string bytes = randomFile(random);
        std::ofstream(path, std::ios::binary) << bytes;
        const std::vector<Line> expected = splitLines(bytes);

        LineReader reader;
        ASSERT_TRUE(reader.open(path.string().c_str()));
        EXPECT_EQ(reader.fileSize(), static_cast<long long>(bytes.size()));
        for (std::size_t i = 0; i < expected.size(); ++i) {
            ASSERT_EQ(reader.peek(), expected[i].first) << "line " << i;
            ASSERT_EQ(reader.readLine(), expected[i].text) << "line " << i;
            ASSERT_EQ(reader.position(), expected[i].end) << "line " << i;
        }
        EXPECT_EQ(reader.peek(), EOF);
        EXPECT_EQ(reader.readLine(), "");
        EXPECT_EQ(reader.peek(), EOF);
    }
    fs::remove_all(dir);
}

} // namespace
} // namespace igc
