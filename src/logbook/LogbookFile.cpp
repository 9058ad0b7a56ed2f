#include "logbook/LogbookFile.h"

#include <QFile>

#include <cstring>

namespace logbook {

LogbookFile::LogbookFile() : std::ostream(&buffer_) {}

LogbookFile::~LogbookFile() {
    close();
}

bool LogbookFile::open(const QString& path) {
    close();
    // Binary: the line ends are ours to write, the same on every platform.
    if (buffer_.file.open(QFile::encodeName(path).constData(),
                          std::ios::out | std::ios::trunc | std::ios::binary) == nullptr) {
        setstate(std::ios::failbit);
        return false;
    }
    clear();
    return true;
}

void LogbookFile::close() {
    if (!buffer_.file.is_open())
        return;
    flush();
    if (buffer_.file.close() == nullptr)
        setstate(std::ios::badbit);
}

LogbookFile::CrLfBuffer::int_type LogbookFile::CrLfBuffer::overflow(int_type c) {
    if (traits_type::eq_int_type(c, traits_type::eof()))
        return traits_type::not_eof(c);
    const char ch = traits_type::to_char_type(c);
    if (ch == '\n' && file.sputn("\r\n", 2) != 2)
        return traits_type::eof();
    if (ch != '\n' && traits_type::eq_int_type(file.sputc(ch), traits_type::eof()))
        return traits_type::eof();
    return c;
}

std::streamsize LogbookFile::CrLfBuffer::xsputn(const char* text, std::streamsize count) {
    std::streamsize written = 0;
    while (written < count) {
        const auto rest = static_cast<std::size_t>(count - written);
        const auto* lf = static_cast<const char*>(std::memchr(text + written, '\n', rest));
        const std::streamsize plain = lf == nullptr ? count - written : lf - (text + written);
        if (file.sputn(text + written, plain) != plain)
            return written;
        written += plain;
        if (lf != nullptr) {
            if (file.sputn("\r\n", 2) != 2)
                return written;
            ++written;
        }
    }
    return written;
}

int LogbookFile::CrLfBuffer::sync() {
    return file.pubsync();
}

} // namespace logbook
