#include "igc/LineReader.h"

#include "igc/RecordParsers.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace igc {

namespace {
constexpr std::size_t kBlockSize = 256 * 1024;
constexpr char kEndOfText = '\x1A'; // Ctrl-Z

} // namespace

LineReader::LineReader() : buffer_(new char[kBlockSize]) {}

LineReader::~LineReader() {
    if (file_ != nullptr)
        std::fclose(file_);
}

bool LineReader::open(const char* path) {
    return open(std::fopen(path, "rb"));
}

bool LineReader::open(std::FILE* file) {
    if (file_ != nullptr)
        std::fclose(file_);
    file_ = file;
    begin_ = end_ = 0;
    read_before_ = 0;
    at_eof_ = nul_seen_ = false;
    file_size_ = 0;
    lines_ = 0;
    open_error_ = 0;
    if (file_ == nullptr)
        return false;
    // We read in large blocks ourselves; a second buffer in the C library would only copy.
    std::setvbuf(file_, nullptr, _IONBF, 0);
    if (std::fseek(file_, 0, SEEK_END) == 0) {
        file_size_ = std::max(0L, std::ftell(file_));
        std::rewind(file_);
    }
    // Opening a directory succeeds on POSIX systems; reading it fails. Both mean no file.
    errno = 0;
    fill();
    if (std::ferror(file_) != 0) {
        open_error_ = errno;
        std::fclose(file_);
        file_ = nullptr;
        return false;
    }
    return true;
}

bool LineReader::fill() {
    if (at_eof_ || file_ == nullptr)
        return false;
    const std::size_t wanted = kBlockSize - end_;
    const std::size_t got = std::fread(buffer_.get() + end_, 1, wanted, file_);
    // Fewer bytes than asked for: the end of the file or a read error. Either way there is
    // nothing more to read, and asking again would only cost another system call.
    if (got < wanted)
        at_eof_ = true;
    if (got == 0)
        return false;
    std::size_t kept = got;
    // Ctrl-Z ends the input, as a text-mode read ends it where the simulator runs: whatever
    // follows (a second recording joined on, padding) is not part of the file.
    if (const void* end_of_text = std::memchr(buffer_.get() + end_, kEndOfText, got)) {
        kept = static_cast<std::size_t>(static_cast<const char*>(end_of_text) -
                                        (buffer_.get() + end_));
        at_eof_ = true;
    }
    if (!nul_seen_ && std::memchr(buffer_.get() + end_, '\0', kept) != nullptr)
        nul_seen_ = true;
    end_ += kept;
    return kept > 0;
}

void LineReader::compact() {
    if (begin_ == 0)
        return;
    std::memmove(buffer_.get(), buffer_.get() + begin_, end_ - begin_);
    read_before_ += static_cast<long long>(begin_);
    end_ -= begin_;
    begin_ = 0;
}

void LineReader::restart() {
    read_before_ += static_cast<long long>(end_);
    begin_ = end_ = 0;
}

int LineReader::peekSlowly() {
    while (begin_ == end_) {
        restart();
        if (!fill())
            return EOF;
    }
    if (buffer_[begin_] == '\r') {
        // CR LF is one line end, and a text-mode read gives it as LF: a blank CR LF line starts
        // with LF like a blank LF line. The LF may still be in the file.
        if (begin_ + 1 == end_) {
            compact();
            fill();
        }
        if (begin_ + 1 < end_ && buffer_[begin_ + 1] == '\n')
            return '\n';
    }
    return static_cast<unsigned char>(buffer_[begin_]);
}

void LineReader::dropRestOfLine() {
    for (;;) {
        const char* start = buffer_.get() + begin_;
        if (const void* lf = std::memchr(start, '\n', end_ - begin_)) {
            begin_ += static_cast<std::size_t>(static_cast<const char*>(lf) - start) + 1;
            return;
        }
        restart();
        if (!fill())
            return;
    }
}

std::string_view LineReader::readLineSlowly() {
    ++lines_; // whatever follows, one line is handed out
    for (;;) {
        const char* start = buffer_.get() + begin_;
        const std::size_t available = end_ - begin_;
        if (const char* lf = findLineFeed(start, start + available)) {
            std::size_t length = static_cast<std::size_t>(lf - start);
            begin_ += length + 1;
            if (length > 0 && start[length - 1] == '\r')
                --length; // the CR of a CR LF line end
            return keep(start, length);
        }
        if (at_eof_) {
            // The last line of a file without a final line end.
            begin_ = end_;
            return keep(start, available);
        }
        if (available > kMaxLineLength + 1) {
            // Too long to keep whole: its first characters are the line, the rest is dropped.
            std::memcpy(long_line_, start, kMaxLineLength);
            begin_ = end_;
            dropRestOfLine();
            return keep(long_line_, kMaxLineLength);
        }
        compact();
        if (!fill() && end_ == begin_)
            return {buffer_.get(), 0}; // an empty line, with storage like every other line
    }
}

} // namespace igc
