#pragma once

// Files of each kind made for a test alike on POSIX systems and on Windows. Where the system has
// no such kind (a named pipe in a folder on Windows), may not make it (symbolic links without
// the privilege) or would not stop the test's user (permission bits for root), the maker says
// why, and the row that needs it is skipped with that reason.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace platform_test {

namespace fs = std::filesystem;

#ifdef _WIN32
inline constexpr bool kOnWindows = true;
#else
inline constexpr bool kOnWindows = false;
#endif

/// A modification time that every system keeps exactly: whole seconds, and milliseconds since
/// 1970 as the listing gives them.
struct FileTime {
    std::chrono::sys_seconds at;
    std::int64_t milliseconds() const {
        return static_cast<std::int64_t>(at.time_since_epoch().count()) * 1000;
    }
};

inline FileTime dayAt(std::chrono::year_month_day day, std::chrono::hours hour) {
    return {std::chrono::sys_days(day) + hour};
}

/// A directory of its own for the running test (each row of a table its own), empty at first and
/// removed when the test ends.
class TestFolder : public ::testing::Test {
protected:
    void SetUp() override {
        const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string name = std::string("platform-") + test->test_suite_name() + "-" + test->name();
        for (char& c : name) {
            if (c == '/')
                c = '-';
        }
        dir_ = fs::temp_directory_path() / name;
        // What cannot go stays: on Windows a death test's child sets up again while the test
        // that started it holds files here open.
        std::error_code ignored;
        fs::remove_all(dir_, ignored);
        fs::create_directories(dir_);
    }
    void TearDown() override {
        // What a row took permissions from, given them back, so that it can go.
        std::error_code ignored;
        for (const fs::directory_entry& entry : fs::directory_iterator(dir_, ignored))
            fs::permissions(entry.path(), fs::perms::owner_all,
                            fs::perm_options::add | fs::perm_options::nofollow, ignored);
        fs::remove_all(dir_, ignored);
    }
    fs::path dir_;
};

/// The name of a table's row in the test's name: the row's `row`.
template <typename Row>
std::string rowName(const ::testing::TestParamInfo<Row>& info) {
    return info.param.row;
}

/// A regular file holding `bytes`.
inline void makeFile(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

inline void setModified(const fs::path& path, FileTime time) {
    fs::last_write_time(path, fs::file_time_type::clock::from_sys(time.at));
}

/// A symbolic link at `link` to `target` (a directory's link where Windows tells them apart):
/// "" when made, else why not.
inline std::string makeLink(const fs::path& target, const fs::path& link,
                            bool to_directory = false) {
    std::error_code error;
    if (to_directory)
        fs::create_directory_symlink(target, link, error);
    else
        fs::create_symlink(target, link, error);
    return error ? "the system made no symbolic link (" + error.message() + ")" : "";
}

/// A named pipe in a folder: "" when made, else why not.
inline std::string makeNamedPipe(const fs::path& path) {
#ifdef _WIN32
    static_cast<void>(path);
    return "Windows has no named pipe in a folder";
#else
    return mkfifo(path.c_str(), 0644) == 0 ? "" : "mkfifo failed";
#endif
}

/// Hidden as the system hides a file: on POSIX systems by its name's leading dot, which the
/// caller gives it; on Windows by the attribute, which Wine also gives a name with a dot.
inline void hide(const fs::path& path) {
#ifdef _WIN32
    const DWORD attributes = GetFileAttributesW(path.c_str());
    SetFileAttributesW(path.c_str(), attributes | FILE_ATTRIBUTE_HIDDEN);
#else
    static_cast<void>(path);
#endif
}

/// The null device, as a path of the system.
inline std::string nullDevice() {
#ifdef _WIN32
    return "NUL";
#else
    return "/dev/null";
#endif
}

/// Why permission bits would not refuse this test's user anything, or "".
inline std::string permissionsIgnored() {
#ifdef _WIN32
    return "";
#else
    return geteuid() == 0 ? "running as root, whom permission bits do not stop" : "";
#endif
}

/// A path as the platform layer takes it: bytes on POSIX systems, UTF-8 on Windows.
inline std::string pathText(const fs::path& path) {
    const std::u8string text = path.u8string();
    return {text.begin(), text.end()};
}

/// A path that the platform layer gave, as a path of the standard library.
inline fs::path fromText(const std::string& text) {
    return fs::path(std::u8string(text.begin(), text.end()));
}

/// The 8.3 short spelling of an existing `path` on Windows, when the system has one that differs;
/// else "" with `why` said.
inline std::string shortPathOf(const fs::path& path, std::string& why) {
#ifdef _WIN32
    wchar_t short_path[MAX_PATH];
    const DWORD length = GetShortPathNameW(path.c_str(), short_path, MAX_PATH);
    if (length > 0 && length < MAX_PATH && path.native() != short_path)
        return pathText(fs::path(short_path));
    why = "this file system gives no 8.3 short name";
#else
    static_cast<void>(path);
    why = "8.3 short names are Windows's";
#endif
    return "";
}

/// `path` spelled through Wine's drive Z: (the Linux root), which names the same file as C:
/// does; else "" with `why` said.
inline std::string wineDrivePathOf(const fs::path& path, std::string& why) {
#ifdef _WIN32
    using UnixName = char*(CDECL*)(const wchar_t*);
    const auto unix_name = reinterpret_cast<UnixName>(reinterpret_cast<void (*)()>(
        GetProcAddress(GetModuleHandleW(L"kernel32"), "wine_get_unix_file_name")));
    char* name = unix_name != nullptr ? unix_name(path.c_str()) : nullptr;
    if (name != nullptr) {
        std::string spelled = std::string("Z:") + name;
        HeapFree(GetProcessHeap(), 0, name);
        for (char& c : spelled) {
            if (c == '/')
                c = '\\';
        }
        return spelled;
    }
    why = "not under Wine";
#else
    static_cast<void>(path);
    why = "drive letters are Windows's";
#endif
    return "";
}

} // namespace platform_test
