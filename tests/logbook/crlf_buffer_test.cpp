// The logbook's line ends: every "\n" leaves the buffer as CR LF, in blocks that never split
// one, whichever way the stream hands the characters over; a refused block fails the stream
// until the buffer is restarted.

#include "logbook/CrLfBuffer.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <limits>
#include <ostream>
#include <string>
#include <vector>

namespace logbook {
namespace {

// Keeps the blocks it is given; refuses every block from the `refuse_from`-th on (0 = all).
class RecordingBuffer : public CrLfBuffer {
public:
    std::vector<std::string> blocks;
    std::size_t refuse_from = std::numeric_limits<std::size_t>::max();
    std::size_t calls = 0;

    [[nodiscard]] std::string bytes() const {
        std::string all;
        for (const std::string& block : blocks)
            all += block;
        return all;
    }

protected:
    bool write(const char* data, std::size_t size) override {
        if (calls++ >= refuse_from)
            return false;
        blocks.emplace_back(data, size);
        return true;
    }
};

std::string crLf(const std::string& text) {
    std::string translated;
    for (const char c : text) {
        if (c == '\n')
            translated += '\r';
        translated += c;
    }
    return translated;
}

TEST(CrLfBuffer, WritesEveryLfAsCrLfAndNothingElseChanged) {
    const struct {
        const char* name;
        std::string text;
        std::string expected;
    } rows[] = {
        {"nothing", "", ""},
        {"no line end", "Local flight", "Local flight"},
        {"one line", "name = Pilot\n", "name = Pilot\r\n"},
        {"empty lines", "\n\n", "\r\n\r\n"},
        {"a CR LF given keeps its CR", "a\r\nb", "a\r\r\nb"},
        {"a lone CR passes", "a\rb", "a\rb"},
        {"NUL, DEL and Latin-1 bytes pass", std::string("\0\x7f\xe9\n", 4),
         std::string("\0\x7f\xe9\r\n", 5)},
    };
    for (const auto& row : rows) {
        for (const bool one_by_one : {false, true}) { // through xsputn, through overflow
            SCOPED_TRACE(std::string(row.name) + (one_by_one ? ", put one by one" : ""));
            RecordingBuffer buffer;
            std::ostream out(&buffer);
            if (one_by_one) {
                for (const char c : row.text)
                    out.put(c);
            } else {
                out.write(row.text.data(), static_cast<std::streamsize>(row.text.size()));
            }
            out.flush();
            EXPECT_TRUE(out.good());
            EXPECT_EQ(buffer.bytes(), row.expected);
        }
    }
}

TEST(CrLfBuffer, HandsBytesOnOnlyWhenFlushed) {
    RecordingBuffer buffer;
    std::ostream out(&buffer);
    out << "Thermora\n" << 42 << '\n';
    EXPECT_EQ(buffer.calls, 0u);
    out << "last" << std::endl; // endl flushes
    EXPECT_EQ(buffer.blocks, std::vector<std::string>{"Thermora\r\n42\r\nlast\r\n"});
    out.flush(); // nothing new: no empty block
    EXPECT_EQ(buffer.calls, 1u);
}

TEST(CrLfBuffer, FullBlocksNeverSplitACrLf) {
    constexpr std::size_t kBlock = CrLfBuffer::kBlockBytes;
    std::string lines;
    while (lines.size() < 3 * kBlock)
        lines += "0123456789\n";
    const struct {
        const char* name;
        std::string text;
    } rows[] = {
        {"one byte short of a block, then LF", std::string(kBlock - 1, 'x') + "\n"},
        {"a block exactly, then LF", std::string(kBlock, 'x') + "\n"},
        {"LF only", std::string(kBlock + 3, '\n')},
        {"three blocks of lines", lines},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        RecordingBuffer buffer;
        std::ostream out(&buffer);
        out << row.text << std::flush;
        EXPECT_TRUE(out.good());
        EXPECT_TRUE(buffer.bytes() == crLf(row.text)); // no EXPECT_EQ: no megabyte diff
        ASSERT_GE(buffer.blocks.size(), 2u);
        for (std::size_t k = 0; k < buffer.blocks.size(); ++k) {
            SCOPED_TRACE("block " + std::to_string(k));
            const std::string& block = buffer.blocks[k];
            EXPECT_LE(block.size(), kBlock);
            EXPECT_NE(block.back(), '\r');      // its LF is in the same block
            if (k + 1 < buffer.blocks.size()) { // a block goes only when the next CR LF won't fit
                EXPECT_GE(block.size(), kBlock - 1);
            }
        }
    }
}

TEST(CrLfBuffer, ARefusedBlockFailsTheStreamUntilRestarted) {
    const struct {
        const char* name;
        std::string text;
    } rows[] = {
        {"refused on the flush", "name = Pilot\n"},
        {"refused when the block is full", std::string(2 * CrLfBuffer::kBlockBytes, 'x')},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        RecordingBuffer buffer;
        buffer.refuse_from = 0;
        std::ostream out(&buffer);
        out << row.text << std::flush;
        EXPECT_TRUE(out.bad());
        EXPECT_TRUE(buffer.failed());
        EXPECT_EQ(buffer.calls, 1u);

        // Failed for good: the first failure's reason is the one kept, so nothing is tried again.
        out.clear();
        out << "more\n" << std::flush;
        EXPECT_TRUE(out.bad());
        EXPECT_EQ(buffer.calls, 1u);

        // A new destination starts empty: nothing from before the failure reaches it.
        buffer.restart();
        buffer.refuse_from = std::numeric_limits<std::size_t>::max();
        out.clear();
        out << "next\n" << std::flush;
        EXPECT_TRUE(out.good());
        EXPECT_FALSE(buffer.failed());
        EXPECT_EQ(buffer.blocks, std::vector<std::string>{"next\r\n"});
    }
}

} // namespace
} // namespace logbook
