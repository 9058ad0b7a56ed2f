#pragma once

// Reads an IGC file line by line in large blocks, the way the reader sees its lines.

#include "igc/RecordParsers.h"

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace igc {

/// A line is what follows the previous line end up to the next LF, without the LF and without
/// a CR right before it; only its first 255 characters are kept (the rest of a longer physical
/// line is dropped) and it ends at its first NUL byte, as a C string would.
class LineReader {
public:
    LineReader();
    ~LineReader();
    LineReader(const LineReader&) = delete;
    LineReader& operator=(const LineReader&) = delete;

    /// Opens a file for reading. False when it cannot be opened or read (a directory, say).
    bool open(const char* path);
    /// Reads from `file`, opened for reading in binary mode, and closes it when done (also when
    /// it cannot be read). False when it cannot be read (a directory, say).
    bool open(std::FILE* file);

    /// The first byte of the next line (0..255), or EOF at the end of the file.
    int peek() {
        // Most lines start with a record letter that is already in the buffer.
        if (begin_ < end_ && buffer_[begin_] != '\r')
            return static_cast<unsigned char>(buffer_[begin_]);
        return peekSlowly();
    }
    /// The next line. The view stays valid until the next call of peek, readLine or skipLine.
    std::string_view readLine() {
        // Most lines end inside the buffer: found there without a call.
        const char* start = buffer_.get() + begin_;
        const char* lf = findLineFeed(start, buffer_.get() + end_);
        if (lf == nullptr)
            return readLineSlowly();
        std::size_t length = static_cast<std::size_t>(lf - start);
        begin_ += length + 1;
        ++lines_;
        if (length > 0 && start[length - 1] == '\r')
            --length; // the CR of a CR LF line end
        return keep(start, length);
    }
    /// Drops the next line.
    void skipLine() { static_cast<void>(readLine()); }

    /// Size of the open file in bytes, 0 when unknown.
    [[nodiscard]] long long fileSize() const { return file_size_; }
    /// Lines handed out so far: after readLine, the 1-based number of the line it gave.
    [[nodiscard]] long long lineNumber() const { return lines_; }
    /// The system's error number when open failed because the file could not be read (a
    /// directory, say); 0 otherwise.
    [[nodiscard]] int openError() const { return open_error_; }
    /// Bytes of the file handed out so far (lines and their line ends).
    [[nodiscard]] long long position() const {
        return read_before_ + static_cast<long long>(begin_);
    }

private:
    // The first LF in [from, to), or null. Sixteen bytes at a time where the buffer has them:
    // a line of the usual 40 to 80 bytes takes a few compares instead of a library call.
    static const char* findLineFeed(const char* from, const char* to) {
#if defined(__SSE2__)
        const __m128i lf = _mm_set1_epi8('\n');
        for (; to - from >= 16; from += 16) {
            const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from));
            const auto found = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, lf)));
            if (found != 0)
                return from + __builtin_ctz(found);
        }
#endif
        return from == to
                   ? nullptr
                   : static_cast<const char*>(std::memchr(from, '\n', std::size_t(to - from)));
    }
    std::string_view keep(const char* text, std::size_t length) const {
        length = std::min(length, kMaxLineLength);
        if (nul_seen_) {
            if (const void* nul = std::memchr(text, '\0', length))
                length = static_cast<std::size_t>(static_cast<const char*>(nul) - text);
        }
        return {text, length};
    }
    int peekSlowly();
    std::string_view readLineSlowly();
    bool fill();
    void compact();
    void restart(); // the buffer emptied, to be filled from its start
    void dropRestOfLine();

    std::FILE* file_ = nullptr;
    std::unique_ptr<char[]> buffer_;
    std::size_t begin_ = 0;     // first byte not yet handed out
    std::size_t end_ = 0;       // end of the bytes read into the buffer
    long long read_before_ = 0; // bytes of the file that were before buffer_[0]
    bool at_eof_ = false;
    bool nul_seen_ = false; // whether any byte read so far was NUL
    long long file_size_ = 0;
    long long lines_ = 0;
    int open_error_ = 0;
    char long_line_[256]; // first characters of a line longer than the buffer holds
};

} // namespace igc
