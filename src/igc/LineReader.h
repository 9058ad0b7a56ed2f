#pragma once

// Reads an IGC file line by line in large blocks, the way the reader sees its lines.

#include <cstdio>
#include <memory>
#include <string_view>

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
    int peek();
    /// The next line. The view stays valid until the next call of peek, readLine or skipLine.
    std::string_view readLine();
    /// Drops the next line.
    void skipLine() { static_cast<void>(readLine()); }

    /// Size of the open file in bytes, 0 when unknown.
    [[nodiscard]] long long fileSize() const { return file_size_; }

private:
    bool fill();
    void compact();
    void dropRestOfLine();
    std::string_view keep(const char* text, std::size_t length);

    std::FILE* file_ = nullptr;
    std::unique_ptr<char[]> buffer_;
    std::size_t begin_ = 0; // first byte not yet handed out
    std::size_t end_ = 0;   // end of the bytes read into the buffer
    bool at_eof_ = false;
    bool nul_seen_ = false; // whether any byte read so far was NUL
    long long file_size_ = 0;
    char long_line_[256]; // first characters of a line longer than the buffer holds
};

} // namespace igc
