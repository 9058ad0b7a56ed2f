#include "logbook/CrLfBuffer.h"

namespace logbook {

bool CrLfBuffer::drain() {
    if (failed_)
        return false;
    if (used_ > 0 && !write(block_, used_)) {
        failed_ = true;
        return false;
    }
    used_ = 0;
    return true;
}

CrLfBuffer::int_type CrLfBuffer::overflow(int_type c) {
    if (traits_type::eq_int_type(c, traits_type::eof()))
        return drain() ? traits_type::not_eof(c) : traits_type::eof();
    // Room for a whole CR LF, so that a block never ends between the two.
    if ((failed_ || used_ + 2 > sizeof block_) && !drain())
        return traits_type::eof();
    const char ch = traits_type::to_char_type(c);
    if (ch == '\n')
        block_[used_++] = '\r';
    block_[used_++] = ch;
    return c;
}

std::streamsize CrLfBuffer::xsputn(const char* text, std::streamsize count) {
    for (std::streamsize k = 0; k < count; ++k) {
        if (traits_type::eq_int_type(overflow(traits_type::to_int_type(text[k])),
                                     traits_type::eof()))
            return k;
    }
    return count;
}

int CrLfBuffer::sync() {
    return drain() ? 0 : -1;
}

} // namespace logbook
