#include "platform/LocaleDates.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>

namespace platform {

namespace {

std::wstring shortDatePattern(const wchar_t* locale) {
    wchar_t pattern[128] = {};
    if (GetLocaleInfoEx(locale, LOCALE_SSHORTDATE, pattern, 128) == 0)
        return L"dd.MM.yyyy";
    std::wstring format = pattern;
    if (format.find(L"yyyy") == std::wstring::npos) {
        const std::size_t yy = format.find(L"yy");
        if (yy != std::wstring::npos)
            format.replace(yy, 2, L"yyyy");
    }
    return format;
}

std::wstring formatted(const wchar_t* locale, const std::wstring& pattern, int year, int month,
                       int day) {
    SYSTEMTIME date{};
    date.wYear = static_cast<WORD>(year);
    date.wMonth = static_cast<WORD>(month);
    date.wDay = static_cast<WORD>(day);
    wchar_t text[128] = {};
    const int length = GetDateFormatEx(locale, 0, &date, pattern.c_str(), text, 128, nullptr);
    return length > 0 ? std::wstring(text, static_cast<std::size_t>(length - 1)) : std::wstring();
}

} // namespace

DateFormatter localeDateFormatter() {
    // The user's short date pattern, worked out once, with a four-digit year.
    const std::wstring pattern = shortDatePattern(LOCALE_NAME_USER_DEFAULT);
    return [pattern](int year, int month, int day) {
        std::wstring text = formatted(LOCALE_NAME_USER_DEFAULT, pattern, year, month, day);
        if (std::any_of(text.begin(), text.end(), [](wchar_t c) { return c > 0xFF; })) {
            // Latin-1 cannot hold the locale's own digits or marks: the same pattern with
            // ASCII digits, without the invisible direction marks.
            text = formatted(LOCALE_NAME_INVARIANT, pattern, year, month, day);
            text.erase(std::remove_if(text.begin(), text.end(),
                                      [](wchar_t c) {
                                          return c == 0x200E || c == 0x200F || c == 0x061C ||
                                                 (c >= 0x202A && c <= 0x202E) ||
                                                 (c >= 0x2066 && c <= 0x2069) || c > 0xFF;
                                      }),
                       text.end());
        }
        return std::string(text.begin(), text.end());
    };
}

std::string localDateTime(std::int64_t milliseconds) {
    // 100 ns ticks since 1601, as the system counts file times.
    const auto ticks = static_cast<std::uint64_t>(milliseconds * 10000 + 116444736000000000LL);
    FILETIME utc{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
    SYSTEMTIME universal{};
    SYSTEMTIME local{};
    if (!FileTimeToSystemTime(&utc, &universal) ||
        !SystemTimeToTzSpecificLocalTime(nullptr, &universal, &local))
        return {};
    char text[32];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u", unsigned{local.wYear},
                  unsigned{local.wMonth}, unsigned{local.wDay}, unsigned{local.wHour},
                  unsigned{local.wMinute});
    return text;
}

} // namespace platform
