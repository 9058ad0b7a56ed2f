// An interrupted run, in a process of its own: the temporary file it was last told of removed,
// the words for what became of the logbook on standard error, the interruption's exit status;
// and, on POSIX systems, no interruption while they are blocked or held.

#include "platform/Interrupts.h"

#include "MadeFiles.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <string>

namespace platform {
namespace {

using namespace platform_test;

enum class Told {
    Nothing,      // no new file yet
    Temporary,    // the new file's temporary name
    RenamedSince, // that name, but the new file was put in place a moment ago
    InPlace,      // the new file is the target
};

enum class Held { Nothing, Blocked, Held };

using Interruptions = TestFolder;

TEST_F(Interruptions, RemoveTheTemporaryAndSayWhatBecameOfTheLogbook) {
#ifdef _WIN32
    GTEST_SKIP() << "no console event can be sent to this process alone: one on a console of "
                    "its own fails under Wine, one on a shared console reaches the tests' "
                    "runner too (the command line's tests interrupt it with Ctrl-C)";
#else
    const struct {
        const char* row;
        int signal;
        Told told;
        Held held; // what holds the interruption off when it comes
        int status;
        const char* says; // a regular expression of standard error
        bool temporary_left;
    } rows[] = {
        {"hang-up before any new file", SIGHUP, Told::Nothing, Held::Nothing, 129, "^left alone\n$",
         true},
        {"Ctrl-C while writing", SIGINT, Told::Temporary, Held::Nothing, 130, "^left alone\n$",
         false},
        {"terminated just after the rename", SIGTERM, Told::RenamedSince, Held::Nothing, 143,
         "^replaced\n$", false},
        {"reader gone once replaced", SIGPIPE, Told::InPlace, Held::Nothing, 141, "^replaced\n$",
         true},
        {"Ctrl-C while blocked", SIGINT, Told::Temporary, Held::Blocked, 130,
         "^still running\nleft alone\n$", false},
        // A change's steps are never stopped between two: the interruption waits for them.
        {"terminated while a change's steps are held", SIGTERM, Told::Temporary, Held::Held, 143,
         "^still running\nleft alone\n$", false},
    };
    const fs::path temporary = dir_ / "logbook.dat.tmp-Ab3xY9";
    for (const auto& row : rows) {
        SCOPED_TRACE(row.row);
        if (row.told != Told::RenamedSince)
            makeFile(temporary, "new");
        EXPECT_EXIT(
            {
                catchInterrupts("left alone\n", "replaced\n");
                if (row.told == Told::Temporary || row.told == Told::RenamedSince)
                    watchTemporary(pathText(temporary), false);
                else if (row.told == Told::InPlace)
                    watchTemporary("", true);
                if (row.held == Held::Blocked) {
                    const InterruptsBlocked blocked;
                    std::raise(row.signal);
                    std::fputs("still running\n", stderr);
                    std::fflush(stderr);
                } else if (row.held == Held::Held) {
                    const InterruptsHeld held;
                    std::raise(row.signal);
                    std::fputs("still running\n", stderr);
                    std::fflush(stderr);
                } else {
                    std::raise(row.signal);
                }
                std::fputs("not interrupted\n", stderr);
            },
            ::testing::ExitedWithCode(row.status), row.says);
        EXPECT_EQ(fs::exists(temporary), row.temporary_left);
        fs::remove(temporary);
    }
#endif
}

} // namespace
} // namespace platform
