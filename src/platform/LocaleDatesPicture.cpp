#include "platform/LocaleDates.h"

#include <array>
#include <cstddef>
#include <memory>
#include <vector>

namespace platform {

namespace {

// One piece of a picture: a field of the date, or text that stands as it is.
struct PicturePart {
    enum class Kind {
        Text,
        Day,
        Day2,
        WeekdayShort,
        WeekdayLong,
        Month,
        Month2,
        MonthShort,
        MonthLong,
        Year
    };
    Kind kind = Kind::Text;
    std::string text; // Latin-1 bytes of a Text part
};

constexpr std::array<const char*, 12> kMonths = {"January",   "February", "March",    "April",
                                                 "May",       "June",     "July",     "August",
                                                 "September", "October",  "November", "December"};
constexpr std::array<const char*, 7> kWeekdays = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                                  "Thursday", "Friday", "Saturday"};

// 0 for Sunday, of a date of the Gregorian calendar.
int weekday(int year, int month, int day) {
    static constexpr int kOffsets[] = {0, 3, 2, 5, 0, 3, 5, 1, 4, 6, 2, 4};
    if (month < 3)
        --year;
    return (year + year / 4 - year / 100 + year / 400 + kOffsets[(month - 1) % 12] + day) % 7;
}

// Appends the UTF-8 character that starts at `at` as Latin-1, or nothing where Latin-1 has none
// (the simulator reads the logbook as Latin-1); `at` moves past it.
void appendLatin1(std::string_view utf8, std::size_t& at, std::string& into) {
    const auto lead = static_cast<unsigned char>(utf8[at]);
    if (lead < 0x80) {
        into += static_cast<char>(lead);
        ++at;
        return;
    }
    const std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
    if ((lead == 0xC2 || lead == 0xC3) && at + 1 < utf8.size()) {
        const auto next = static_cast<unsigned char>(utf8[at + 1]);
        into += static_cast<char>(((lead & 0x03) << 6) | (next & 0x3F));
    }
    at += length;
}

std::string twoDigits(int value) {
    return std::string{static_cast<char>('0' + value / 10 % 10),
                       static_cast<char>('0' + value % 10)};
}

std::vector<PicturePart> pictureParts(std::string_view picture) {
    using Kind = PicturePart::Kind;
    std::vector<PicturePart> parts;
    const auto text = [&parts]() -> std::string& {
        if (parts.empty() || parts.back().kind != Kind::Text)
            parts.push_back({Kind::Text, {}});
        return parts.back().text;
    };
    for (std::size_t at = 0; at < picture.size();) {
        const char c = picture[at];
        if (c == '\'') {
            // Quoted text, up to the next lone quote; '' stands for a quote, inside or outside.
            ++at;
            if (at < picture.size() && picture[at] == '\'') {
                text() += '\'';
                ++at;
                continue;
            }
            while (at < picture.size()) {
                if (picture[at] == '\'') {
                    if (at + 1 < picture.size() && picture[at + 1] == '\'') {
                        text() += '\'';
                        at += 2;
                        continue;
                    }
                    ++at;
                    break;
                }
                appendLatin1(picture, at, text());
            }
            continue;
        }
        if (c != 'd' && c != 'M' && c != 'y' && c != 'g') {
            appendLatin1(picture, at, text());
            continue;
        }
        std::size_t run = 1;
        while (at + run < picture.size() && picture[at + run] == c)
            ++run;
        at += run;
        switch (c) {
        case 'd':
            parts.push_back({run == 1   ? Kind::Day
                             : run == 2 ? Kind::Day2
                             : run == 3 ? Kind::WeekdayShort
                                        : Kind::WeekdayLong,
                             {}});
            break;
        case 'M':
            parts.push_back({run == 1   ? Kind::Month
                             : run == 2 ? Kind::Month2
                             : run == 3 ? Kind::MonthShort
                                        : Kind::MonthLong,
                             {}});
            break;
        case 'y':
            // Whatever the picture, the year keeps its four digits, as everywhere in the logbook.
            parts.push_back({Kind::Year, {}});
            break;
        default: // the era: this calendar has one, which nobody writes in a logbook
            break;
        }
    }
    return parts;
}

} // namespace

DateFormatter pictureDateFormatter(std::string_view picture) {
    using Kind = PicturePart::Kind;
    auto parts = std::make_shared<const std::vector<PicturePart>>(pictureParts(picture));
    bool day = false;
    bool month = false;
    bool year = false;
    for (const PicturePart& part : *parts) {
        day = day || part.kind == Kind::Day || part.kind == Kind::Day2;
        month = month || (part.kind >= Kind::Month && part.kind <= Kind::MonthLong);
        year = year || part.kind == Kind::Year;
    }
    if (!day || !month || !year)
        return {};
    return [parts](int year_number, int month_number, int day_number) {
        std::string text;
        for (const PicturePart& part : *parts) {
            switch (part.kind) {
            case Kind::Text:
                text += part.text;
                break;
            case Kind::Day:
                text += std::to_string(day_number);
                break;
            case Kind::Day2:
                text += twoDigits(day_number);
                break;
            case Kind::WeekdayShort:
                text += std::string(kWeekdays[static_cast<std::size_t>(
                                        weekday(year_number, month_number, day_number))])
                            .substr(0, 3);
                break;
            case Kind::WeekdayLong:
                text += kWeekdays[static_cast<std::size_t>(
                    weekday(year_number, month_number, day_number))];
                break;
            case Kind::Month:
                text += std::to_string(month_number);
                break;
            case Kind::Month2:
                text += twoDigits(month_number);
                break;
            case Kind::MonthShort:
                text += std::string(kMonths[static_cast<std::size_t>(month_number - 1) % 12])
                            .substr(0, 3);
                break;
            case Kind::MonthLong:
                text += kMonths[static_cast<std::size_t>(month_number - 1) % 12];
                break;
            case Kind::Year: {
                std::string digits = std::to_string(year_number);
                text += std::string(digits.size() < 4 ? 4 - digits.size() : 0, '0') + digits;
                break;
            }
            }
        }
        return text;
    };
}

} // namespace platform
