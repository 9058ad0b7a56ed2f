// The installation directory read back from the real Windows registry (under Wine, a prefix of
// the tests' own): the key written by the test in the 64-bit view, in the 32-bit view that a
// 32-bit installer writes, or in both; values that fit the 256-byte buffer and values that do
// not; values stored without their NUL; a failure told as data, nothing written. Each test
// removes what it wrote.

#include "install/WindowsRegistry.h"
#include "support/CaptureStream.h"

#include <gtest/gtest.h>

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <iostream>
#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

namespace install {
namespace {

using testing_support::CaptureStream;

constexpr const char* kParentKey = "SOFTWARE\\Thermora";

enum class View : REGSAM { Bits64 = KEY_WOW64_64KEY, Bits32 = KEY_WOW64_32KEY };

const char* name(View view) {
    return view == View::Bits64 ? "64-bit view" : "32-bit view";
}

bool keyExists(const char* path, View view) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_READ | static_cast<REGSAM>(view), &key) !=
        ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

// A value as an installer (or a damaged registry) may have stored it: its type and its bytes,
// exactly as many as given, a terminating NUL only where the bytes have one.
struct StoredValue {
    DWORD type = REG_SZ;
    std::string bytes;
};

StoredValue sz(const std::string& text) {
    return {REG_SZ, text + '\0'};
}

// What one view of the registry holds: no key, the key alone, or the key with the value.
struct InView {
    bool key = false;
    std::optional<StoredValue> location;
};
const InView kNoKey{};
const InView kKeyOnly{true, std::nullopt};
InView with(StoredValue location) {
    return {true, std::move(location)};
}

// What readRegistryLocation gave: found with its value, or the failure with its code.
struct Read {
    RegistryLocation::Failure failure = RegistryLocation::Failure::None;
    long error = 0;
    std::string value;
    bool operator==(const Read&) const = default;
    friend std::ostream& operator<<(std::ostream& out, const Read& read) {
        return out << "failure " << static_cast<int>(read.failure) << ", error " << read.error
                   << ", \"" << read.value << "\"";
    }
};
Read found(const std::string& value) {
    return {RegistryLocation::Failure::None, 0, value};
}
const Read kNoKeyRead{RegistryLocation::Failure::NoKey, 0, ""};
Read readError(long code) {
    return {RegistryLocation::Failure::Unreadable, code, ""};
}

// Writes the simulator's key the way its installer does, in either view, and removes it with its
// parent afterwards. A key that is there already (a real installation) is never touched: the
// tests are skipped then.
class WindowsRegistry : public ::testing::Test {
protected:
    void SetUp() override {
        for (const View view : {View::Bits64, View::Bits32}) {
            if (keyExists(kRegistryKey, view)) {
                real_installation_ = true;
                GTEST_SKIP() << "HKLM\\" << kRegistryKey << " exists in the " << name(view)
                             << " already; a real installation is left alone";
            }
            if (!keyExists(kParentKey, view))
                created_parent_.push_back(view);
        }
    }

    void TearDown() override {
        if (!real_installation_)
            removeWhatWasWritten();
    }

    // readRegistryLocation on a registry that holds `in64` and `in32`, left clean again
    // afterwards. It tells its failure as data and writes nothing.
    Read readWith(const InView& in64, const InView& in32) {
        install(View::Bits64, in64);
        install(View::Bits32, in32);
        CaptureStream capture(std::cerr);
        const RegistryLocation location = readRegistryLocation();
        EXPECT_EQ(capture.text(), "");
        removeWhatWasWritten();
        return {location.failure, location.error, location.value};
    }

private:
    void install(View view, const InView& content) {
        if (!content.key)
            return;
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, kRegistryKey, 0, nullptr,
                                  REG_OPTION_NON_VOLATILE, KEY_WRITE | static_cast<REGSAM>(view),
                                  nullptr, &key, nullptr),
                  ERROR_SUCCESS)
            << name(view) << " (writing HKEY_LOCAL_MACHINE needs an administrator)";
        created_key_[view == View::Bits32] = true;
        if (const std::optional<StoredValue>& location = content.location) {
            // Windows counts a NUL that follows a string's bytes in memory into the value; a
            // byte that is not NUL behind them stores the bytes alone.
            const std::string guarded = location->bytes + 'X';
            EXPECT_EQ(RegSetValueExA(key, kRegistryValue, 0, location->type,
                                     reinterpret_cast<const BYTE*>(guarded.data()),
                                     static_cast<DWORD>(location->bytes.size())),
                      ERROR_SUCCESS);
        }
        RegCloseKey(key);
    }

    void removeWhatWasWritten() {
        for (const View view : {View::Bits64, View::Bits32}) {
            if (created_key_[view == View::Bits32]) {
                EXPECT_EQ(
                    RegDeleteKeyExA(HKEY_LOCAL_MACHINE, kRegistryKey, static_cast<REGSAM>(view), 0),
                    ERROR_SUCCESS);
            }
            created_key_[view == View::Bits32] = false;
            EXPECT_FALSE(keyExists(kRegistryKey, view)) << name(view) << " left behind";
        }
        for (const View view : created_parent_) {
            if (keyExists(kParentKey, view)) {
                EXPECT_EQ(
                    RegDeleteKeyExA(HKEY_LOCAL_MACHINE, kParentKey, static_cast<REGSAM>(view), 0),
                    ERROR_SUCCESS);
            }
        }
    }

    bool real_installation_ = false;
    bool created_key_[2] = {false, false}; // in the 64-bit view, in the 32-bit view
    std::vector<View> created_parent_;
};

TEST_F(WindowsRegistry, LooksInThe64BitViewThenThe32BitOne) {
    const struct {
        const char* name;
        InView in64, in32;
        Read expected;
    } rows[] = {
        {"no key in either view", kNoKey, kNoKey, kNoKeyRead},
        {"the key alone", kKeyOnly, kNoKey, readError(ERROR_FILE_NOT_FOUND)},
        {"the key alone in both", kKeyOnly, kKeyOnly, readError(ERROR_FILE_NOT_FOUND)},
        {"the key alone in the 32-bit view", kNoKey, kKeyOnly, readError(ERROR_FILE_NOT_FOUND)},
        {"too long in the 64-bit view, the key alone in the 32-bit one: the first reason",
         with(sz(std::string(300, 'x'))), kKeyOnly, readError(ERROR_MORE_DATA)},
        {"64-bit installer", with(sz("C:\\Program Files\\Thermora")), kNoKey,
         found("C:\\Program Files\\Thermora")},
        {"32-bit installer", kNoKey, with(sz("C:\\Program Files (x86)\\Thermora")),
         found("C:\\Program Files (x86)\\Thermora")},
        {"both: the 64-bit one", with(sz("D:\\Sim64")), with(sz("D:\\Sim32")), found("D:\\Sim64")},
        {"a 64-bit key without the value: the 32-bit one", kKeyOnly, with(sz("D:\\Sim32")),
         found("D:\\Sim32")},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(readWith(row.in64, row.in32), row.expected);
        if (HasFatalFailure())
            return;
    }
}

TEST_F(WindowsRegistry, ReadsAtMost256BytesAndNoFurtherThanTheValue) {
    const std::string longest(255, 'a');
    const std::string full(256, 'b');
    const struct {
        const char* name;
        StoredValue location;
        Read expected;
    } rows[] = {
        {"256 characters do not fit with their NUL", sz(full), readError(ERROR_MORE_DATA)},
        {"257 bytes of binary do not fit", {REG_BINARY, full + 'c'}, readError(ERROR_MORE_DATA)},
        {"255 characters and their NUL fill the buffer", sz(longest), found(longest)},
        {"256 bytes of binary fill it without a NUL", {REG_BINARY, full}, found(full)},
        {"256 characters stored without their NUL fill it", {REG_SZ, full}, found(full)},
        {"a string stored without its NUL", {REG_SZ, "C:\\Sim"}, found("C:\\Sim")},
        {"binary without a NUL", {REG_BINARY, "C:\\Sim"}, found("C:\\Sim")},
        {"the first NUL ends it", {REG_BINARY, std::string("C:\\Sim\0junk", 10)}, found("C:\\Sim")},
        {"a trailing separator stays", sz("C:\\Sim\\"), found("C:\\Sim\\")},
        {"an expandable string is taken as stored",
         {REG_EXPAND_SZ, sz("%ProgramFiles%\\T").bytes},
         found("%ProgramFiles%\\T")},
        {"an empty value", sz(""), found("")},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(readWith(with(row.location), kNoKey), row.expected);
        if (HasFatalFailure())
            return;
    }
}

// Why the registry names no installation, as the programs say it after "registry: ".
TEST(WindowsRegistryReason, NamesTheKeyAndTheSystemsText) {
    const std::string key = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Thermora\\Thermora Simulator";
    const struct {
        const char* name;
        RegistryLocation location;
        std::string reason;
    } rows[] = {
        {"no key in either view", {RegistryLocation::Failure::NoKey, 0, ""}, "no key " + key},
        {"a value too long",
         {RegistryLocation::Failure::Unreadable, ERROR_MORE_DATA, ""},
         "couldn't read the value \"Location\" of " + key + " (" + systemMessage(ERROR_MORE_DATA) +
             ")"},
        {"found: no reason", {RegistryLocation::Failure::None, 0, "C:\\Sim"}, ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(registryReason(row.location), row.reason);
    }
}

// The read error is told by the system's text alone, so the texts of the codes must differ.
TEST(WindowsSystemMessage, TheSystemsTextOfEachCodeWithoutItsLineEnd) {
    const DWORD codes[] = {ERROR_FILE_NOT_FOUND, ERROR_MORE_DATA, ERROR_ACCESS_DENIED};
    std::vector<std::string> texts;
    for (const DWORD code : codes) {
        SCOPED_TRACE(code);
        const std::string text = systemMessage(static_cast<long>(code));
        EXPECT_FALSE(text.empty());
        EXPECT_EQ(text.find_first_of("\r\n"), std::string::npos) << text;
        for (const std::string& other : texts)
            EXPECT_NE(text, other);
        texts.push_back(text);
    }
}

} // namespace
} // namespace install
