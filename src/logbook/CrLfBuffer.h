#pragma once

// The logbook's line ends: the simulator reads its logbook with CR LF, so a stream written with
// "\n" (std::endl included) must reach the file as CR LF on every platform, never through a
// platform's text mode. No Qt and no system calls here: where the bytes go is the subclass's
// business, so that every build, the Windows one included, can check the bytes.

#include <cstddef>
#include <streambuf>

namespace logbook {

/// A stream buffer that writes every "\n" as "\r\n" and passes everything else on unchanged (a
/// CR already before an LF included: "\r\n" becomes "\r\r\n"). The bytes are collected and go to
/// `write` in blocks of at most kBlockBytes, when the block is full and on every flush.
/// Once `write` has failed, nothing more is written until `restart`: the stream's writes and
/// flushes fail, and the subclass keeps the first failure's reason.
class CrLfBuffer : public std::streambuf {
public:
    static constexpr std::size_t kBlockBytes = 64 * 1024;

    /// Drops what is collected and any failure, for a new destination.
    void restart() {
        used_ = 0;
        failed_ = false;
    }
    /// True once `write` has failed.
    [[nodiscard]] bool failed() const { return failed_; }

protected:
    /// Takes `size` bytes (at least one); false when they could not all be written.
    virtual bool write(const char* data, std::size_t size) = 0;

    // No put area: every character comes through overflow, so no LF can slip past.
    int_type overflow(int_type c) override;
    std::streamsize xsputn(const char* text, std::streamsize count) override;
    int sync() override;

private:
    bool drain();

    char block_[kBlockBytes];
    std::size_t used_ = 0;
    bool failed_ = false;
};

} // namespace logbook
