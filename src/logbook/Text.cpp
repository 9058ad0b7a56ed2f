#include "logbook/Text.h"

#include <algorithm>
#include <cctype>
#include <vector>

namespace logbook {

namespace {
#ifdef _WIN32
constexpr bool kWindowsShell = true;
#else
constexpr bool kWindowsShell = false;
#endif
} // namespace

namespace {

constexpr char32_t kReplacement = 0xFFFD;

// The code point of the valid UTF-8 sequence at `at`, and its length; length 0 when the bytes
// there are not one (a stray continuation byte, a sequence cut short, an overlong form, a
// surrogate, a code point beyond U+10FFFF).
char32_t decodeAt(std::string_view text, std::size_t at, std::size_t& length) {
    const auto byte = [&text](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(at);
    length = 0;
    if (lead < 0x80) {
        length = 1;
        return lead;
    }
    std::size_t count = 0;
    char32_t code = 0;
    char32_t least = 0;
    if ((lead & 0xE0) == 0xC0) {
        count = 2;
        code = lead & 0x1F;
        least = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        count = 3;
        code = lead & 0x0F;
        least = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        count = 4;
        code = lead & 0x07;
        least = 0x10000;
    } else {
        return kReplacement;
    }
    if (at + count > text.size())
        return kReplacement;
    for (std::size_t k = 1; k < count; ++k) {
        if ((byte(at + k) & 0xC0) != 0x80)
            return kReplacement;
        code = (code << 6) | (byte(at + k) & 0x3F);
    }
    if (code < least || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
        return kReplacement;
    length = count;
    return code;
}

template <typename Each>
void forEachCharacter(std::string_view utf8, Each each) {
    for (std::size_t at = 0; at < utf8.size();) {
        std::size_t length = 0;
        const char32_t code = decodeAt(utf8, at, length);
        each(code);
        at += length == 0 ? 1 : length;
    }
}

void appendUtf8(std::string& out, char32_t code) {
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

// The letters that Latin-1 holds composed, by the combining mark that follows the base letter
// in a decomposed name (as macOS stores names): `composed[k]` is `bases[k]` with `mark`.
struct Composition {
    char32_t mark;
    std::string_view bases;
    std::string_view composed; // Latin-1
};

constexpr Composition kCompositions[] = {
    {0x0300, "AEIOUaeiou", "\xC0\xC8\xCC\xD2\xD9\xE0\xE8\xEC\xF2\xF9"},           // grave
    {0x0301, "AEIOUYaeiouy", "\xC1\xC9\xCD\xD3\xDA\xDD\xE1\xE9\xED\xF3\xFA\xFD"}, // acute
    {0x0302, "AEIOUaeiou", "\xC2\xCA\xCE\xD4\xDB\xE2\xEA\xEE\xF4\xFB"},           // circumflex
    {0x0303, "ANOano", "\xC3\xD1\xD5\xE3\xF1\xF5"},                               // tilde
    {0x0308, "AEIOUaeiouy", "\xC4\xCB\xCF\xD6\xDC\xE4\xEB\xEF\xF6\xFC\xFF"},      // diaeresis
    {0x030A, "Aa", "\xC5\xE5"},                                                   // ring
    {0x0327, "Cc", "\xC7\xE7"},                                                   // cedilla
};

// The Latin-1 letter that `base` followed by `mark` composes to, or 0.
char32_t composedLatin1(char32_t base, char32_t mark) {
    if (base >= 0x80)
        return 0;
    // The grave and acute tone marks are the grave and acute accents, canonically.
    if (mark == 0x0340 || mark == 0x0341)
        mark -= 0x40;
    for (const Composition& composition : kCompositions) {
        if (composition.mark != mark)
            continue;
        const std::size_t k = composition.bases.find(static_cast<char>(base));
        return k == std::string_view::npos ? 0
                                           : static_cast<unsigned char>(composition.composed[k]);
    }
    return 0;
}

// A mark that combines with the character before it.
bool isCombiningMark(char32_t code) {
    return (code >= 0x0300 && code <= 0x036F) || (code >= 0x1AB0 && code <= 0x1AFF) ||
           (code >= 0x1DC0 && code <= 0x1DFF) || (code >= 0x20D0 && code <= 0x20FF) ||
           (code >= 0xFE20 && code <= 0xFE2F);
}

// Each character of `utf8` as `forEachCharacter` gives it, but a letter followed by one mark
// that together make a Latin-1 letter as that letter: the composed form the simulator can show.
// A letter with more than one mark cannot be written whole in Latin-1 whatever its composed form:
// it stays as it is.
template <typename Each>
void forEachComposedCharacter(std::string_view utf8, Each each) {
    std::u32string characters;
    characters.reserve(utf8.size());
    forEachCharacter(utf8, [&characters](char32_t code) { characters += code; });
    for (std::size_t k = 0; k < characters.size(); ++k) {
        if (k + 1 < characters.size() &&
            (k + 2 == characters.size() || !isCombiningMark(characters[k + 2]))) {
            if (const char32_t composed = composedLatin1(characters[k], characters[k + 1])) {
                each(composed);
                ++k;
                continue;
            }
        }
        each(characters[k]);
    }
}

} // namespace

std::u16string utf16Of(std::string_view utf8) {
    std::u16string text;
    text.reserve(utf8.size());
    forEachCharacter(utf8, [&text](char32_t code) {
        if (code < 0x10000) {
            text += static_cast<char16_t>(code);
        } else {
            text += static_cast<char16_t>(0xD800 + ((code - 0x10000) >> 10));
            text += static_cast<char16_t>(0xDC00 + ((code - 0x10000) & 0x3FF));
        }
    });
    return text;
}

std::string latin1Of(std::string_view utf8) {
    std::string text;
    text.reserve(utf8.size());
    forEachComposedCharacter(utf8, [&text](char32_t code) {
        if (code <= 0xFF)
            text += static_cast<char>(code);
        else
            text += code < 0x10000 ? "?" : "??";
    });
    return text;
}

std::string latin1OfUncomposed(std::string_view utf8) {
    std::string text;
    text.reserve(utf8.size());
    forEachCharacter(utf8, [&text](char32_t code) {
        if (code <= 0xFF)
            text += static_cast<char>(code);
        else
            text += code < 0x10000 ? "?" : "??";
    });
    return text;
}

std::string charactersBeyondLatin1(std::string_view utf8) {
    std::vector<char32_t> seen;
    std::string quoted;
    forEachComposedCharacter(utf8, [&](char32_t code) {
        if (code <= 0xFF || std::find(seen.begin(), seen.end(), code) != seen.end())
            return;
        seen.push_back(code);
        quoted += quoted.empty() ? "\"" : ", \"";
        appendUtf8(quoted, code);
        quoted += '"';
    });
    return quoted;
}

std::string shellWord(std::string_view word) {
    const auto plain = [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return std::isalnum(byte) != 0 ||
               std::string_view("_-./:,@%+=").find(c) != std::string_view::npos ||
               (c == '\\' && kWindowsShell);
    };
    if (!word.empty() && std::all_of(word.begin(), word.end(), plain))
        return std::string(word);
    if (kWindowsShell)
        return "\"" + std::string(word) + "\""; // a Windows path holds no '"'
    std::string quoted = "'";
    for (const char c : word) {
        if (c == '\'')
            quoted += "'\\''";
        else
            quoted += c;
    }
    return quoted + "'";
}

std::string utf8OfLatin1(std::string_view latin1) {
    std::string utf8;
    utf8.reserve(latin1.size());
    for (const char c : latin1) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80) {
            utf8 += c;
        } else {
            utf8 += static_cast<char>(0xC0 | (byte >> 6));
            utf8 += static_cast<char>(0x80 | (byte & 0x3F));
        }
    }
    return utf8;
}

} // namespace logbook
