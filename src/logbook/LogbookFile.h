#pragma once

// The logbook output stream. The simulator reads the logbook with CR LF line ends, so every
// "\n" written to this stream (std::endl included) lands in the file as CR LF on every platform:
// a logbook is byte-identical wherever it was made.

#include <QString>

#include <fstream>
#include <ostream>
#include <streambuf>

namespace logbook {

class LogbookFile : public std::ostream {
public:
    LogbookFile();
    ~LogbookFile() override;
    LogbookFile(const LogbookFile&) = delete;
    LogbookFile& operator=(const LogbookFile&) = delete;

    /// Creates or truncates the file at `path` (converted with the file system's encoding).
    /// False, with the stream failed, when it cannot be opened; an existing file is then
    /// left as it was.
    bool open(const QString& path);
    void close();

private:
    class CrLfBuffer : public std::streambuf {
    public:
        std::filebuf file;

    protected:
        int_type overflow(int_type c) override;
        std::streamsize xsputn(const char* text, std::streamsize count) override;
        int sync() override;
    };
    CrLfBuffer buffer_;
};

} // namespace logbook
