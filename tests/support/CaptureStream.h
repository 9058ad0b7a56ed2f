#pragma once

// Swaps a standard stream's buffer for a string buffer for the lifetime of the object, so that
// a test can compare every diagnostic line a call wrote.

#include <iostream>
#include <sstream>
#include <string>

namespace testing_support {

class CaptureStream {
public:
    explicit CaptureStream(std::ostream& stream)
        : stream_(stream), old_(stream.rdbuf(buffer_.rdbuf())) {}
    ~CaptureStream() { stream_.rdbuf(old_); }
    CaptureStream(const CaptureStream&) = delete;
    CaptureStream& operator=(const CaptureStream&) = delete;

    /// Everything written so far.
    [[nodiscard]] std::string text() const { return buffer_.str(); }

private:
    std::ostream& stream_;
    std::ostringstream buffer_;
    std::streambuf* old_;
};

} // namespace testing_support
