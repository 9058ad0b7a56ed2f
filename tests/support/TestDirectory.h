#pragma once

// A fresh directory per test, named after it, removed at the end; and the names a directory
// holds, for checking what a run left behind.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

namespace testing_support {

/// A directory in the system's temporary directory named `prefix` and the current test's name,
/// empty at the start of the test.
inline std::filesystem::path freshTestDirectory(const std::string& prefix) {
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() /
        (prefix + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir;
}

/// The names in `dir`, sorted, separated by a blank.
inline std::string namesIn(const std::filesystem::path& dir) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    std::string joined;
    for (const std::string& name : names)
        joined += (joined.empty() ? "" : " ") + name;
    return joined;
}

} // namespace testing_support
