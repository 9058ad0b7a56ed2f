#include "ReferenceReader.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <string>

namespace bench {

namespace {

// One line into `line` (at most 255 characters kept), without its LF or CR LF.
bool nextLine(std::istream& in, std::string& physical, char (&line)[256]) {
    if (!std::getline(in, physical))
        return false;
    if (!physical.empty() && physical.back() == '\r')
        physical.pop_back();
    std::strncpy(line, physical.c_str(), 255);
    line[255] = '\0';
    return true;
}

igc::Coordinate coordinate(int lat_deg, int lat_min, int lat_th, char ns, int lon_deg, int lon_min,
                           int lon_th, char ew) {
    igc::Coordinate c;
    c.lat_deg = static_cast<std::int16_t>(ns == 'S' ? -lat_deg : lat_deg);
    c.lat_min = static_cast<float>((lat_min + lat_th * 0.001) * (ns == 'S' ? -1 : 1));
    c.lon_deg = static_cast<std::int16_t>(ew == 'W' ? -lon_deg : lon_deg);
    c.lon_min = static_cast<float>((lon_min + lon_th * 0.001) * (ew == 'W' ? -1 : 1));
    return c;
}

int column(const char* line, int at, int width) {
    char field[4] = {};
    const auto length = static_cast<int>(std::strlen(line));
    if (at < 1 || at - 1 + width > length)
        return -1;
    std::memcpy(field, line + at - 1, static_cast<std::size_t>(width));
    return std::atoi(field);
}

} // namespace

bool loadWithSscanf(igc::FlightLog& log, const char* path) {
    std::ifstream in(path);
    if (!in)
        return false;
    log.fixes_.clear();
    std::string physical;
    char line[256];
    char code[4];
    char rest[256];
    bool task_read = false;
    while (nextLine(in, physical, line)) {
        switch (line[0]) {
        case 'A': {
            char letter;
            if (std::sscanf(line, "%c%3s%[^\n\r]", &letter, code, rest) == 3) {
                log.manufacturer_ = code;
                log.logger_id_ = rest;
            }
            break;
        }
        case 'H': {
            char letter;
            char source;
            if (std::sscanf(line, "%c%c%3s%[^\n\r]", &letter, &source, code, rest) != 4)
                break;
            char value[256];
            int d, m, y;
            if (std::strcmp(code, "DTE") == 0 && std::sscanf(rest, "%02d%02d%02d", &d, &m, &y) == 3)
                log.date_ = {static_cast<std::uint8_t>(d), static_cast<std::uint8_t>(m),
                             static_cast<std::int16_t>(y)};
            else if (std::strcmp(code, "PLT") == 0 &&
                     std::sscanf(rest, "%*[^:]: %[^\n\r]", value) == 1)
                log.pilot_ = value;
            else if (std::strcmp(code, "GTY") == 0 &&
                     std::sscanf(rest, "%*[^:]: %[^\n\r]", value) == 1)
                log.glider_type_ = value;
            else if (std::strcmp(code, "GID") == 0 &&
                     std::sscanf(rest, "%*[^:]: %[^\n\r]", value) == 1)
                log.glider_id_ = value;
            break;
        }
        case 'I': {
            const int count = column(line, 2, 2);
            for (int k = 0; k < count; ++k) {
                const int at = 4 + 7 * k;
                if (at - 1 + 7 > static_cast<int>(std::strlen(line)))
                    break;
                const int start = column(line, at, 2);
                if (std::strncmp(line + at + 3, "FXA", 3) == 0)
                    log.fxa_column_ = start;
                else if (std::strncmp(line + at + 3, "SIU", 3) == 0)
                    log.siu_column_ = start;
                else if (std::strncmp(line + at + 3, "ENL", 3) == 0)
                    log.enl_column_ = start;
            }
            break;
        }
        case 'C': {
            if (task_read)
                break;
            task_read = true;
            log.has_task_ = true;
            int n[11];
            char text[256];
            char letter;
            std::sscanf(line, "%c%2d%2d%2d%2d%2d%2d%2d%2d%2d%4d%2d%[^\n\r]", &letter, &n[0], &n[1],
                        &n[2], &n[3], &n[4], &n[5], &n[6], &n[7], &n[8], &n[9], &n[10], text);
            log.task_.turnpoint_count = n[10];
            log.task_.turnpoints.clear();
            for (int k = 0; k < n[10] + 4 && in.peek() == 'C'; ++k) {
                nextLine(in, physical, line);
                int a, b, c, e, f, g;
                char ns, ew;
                text[0] = '\0';
                std::sscanf(line, "%c%02d%02d%03d%c%03d%02d%03d%c%[^\n\r]", &letter, &a, &b, &c,
                            &ns, &e, &f, &g, &ew, text);
                igc::TaskPoint point;
                point.position = coordinate(a, b, c, ns, e, f, g, ew);
                point.name = text;
                if (k == 0)
                    log.task_.takeoff = point;
                else if (k == 1)
                    log.task_.start = point;
                else if (k < n[10] + 2)
                    log.task_.turnpoints.push_back(point);
                else if (k == n[10] + 2)
                    log.task_.finish = point;
                else
                    log.task_.landing = point;
            }
            break;
        }
        case 'B': {
            igc::Fix fix;
            char letter, ns, ew;
            int hh, mm, ss, a, b, c, e, f, g, pressure, gps;
            if (std::sscanf(line, "%c%2d%2d%2d%2d%2d%3d%c%3d%2d%3d%c%c%5d%5d%*[^\r\n]", &letter,
                            &hh, &mm, &ss, &a, &b, &c, &ns, &e, &f, &g, &ew, &fix.validity,
                            &pressure, &gps) != 15)
                break;
            fix.time = {static_cast<std::uint8_t>(hh), static_cast<std::uint8_t>(mm),
                        static_cast<std::uint8_t>(ss)};
            fix.position = coordinate(a, b, c, ns, e, f, g, ew);
            fix.pressure_alt = static_cast<std::int16_t>(pressure);
            fix.gps_alt = static_cast<std::int16_t>(gps);
            if (const int v = column(line, log.fxa_column_, 3); v >= 0)
                fix.fxa = static_cast<std::int16_t>(v);
            if (const int v = column(line, log.siu_column_, 2); v >= 0)
                fix.siu = static_cast<std::uint8_t>(v);
            if (const int v = column(line, log.enl_column_, 3); v >= 0)
                fix.enl = static_cast<std::int16_t>(v);
            log.fixes_.push_back(fix);
            break;
        }
        default:
            break;
        }
    }
    return true;
}

} // namespace bench
