// One owner per handle: whatever happens to the owner, each handle it held is closed exactly
// once, and the values that mean "none" never are.

#include "platform/UniqueHandle.h"

#include <gtest/gtest.h>

#include <functional>
#include <utility>
#include <vector>

namespace platform {
namespace {

// Handles as numbers, closed into a list; as with the Windows API's kernel objects, two values
// mean "none": 0 and -1.
std::vector<int> closed;

struct CountedTraits {
    using Handle = int;
    static Handle none() noexcept { return 0; }
    static bool holds(Handle handle) noexcept { return handle != 0 && handle != -1; }
    static void close(Handle handle) noexcept { closed.push_back(handle); }
};
using Counted = UniqueHandle<CountedTraits>;

TEST(UniqueHandle, ClosesEachHandleOnceWhateverBecomesOfItsOwner) {
    const struct {
        const char* row;
        std::function<void()> steps;
        std::vector<int> closed; // in order, once every owner has gone
    } rows[] = {
        {"a failure (-1) is not closed", [] { const Counted failed(-1); }, {}},
        {"none is not closed", [] { const Counted nothing; }, {}},
        {"given up",
         [] {
             Counted owner(7);
             EXPECT_EQ(owner.release(), 7);
         },
         {}},
        {"goes with its owner", [] { const Counted owner(7); }, {7}},
        {"reset to another",
         [] {
             Counted owner(7);
             owner.reset(8);
         },
         {7, 8}},
        {"reset to none",
         [] {
             Counted owner(7);
             owner.reset();
             EXPECT_FALSE(owner);
         },
         {7}},
        {"moved to a new owner",
         [] {
             Counted owner(7);
             const Counted taker(std::move(owner));
             EXPECT_FALSE(owner); // NOLINT(bugprone-use-after-move): that is the point
             EXPECT_EQ(taker.get(), 7);
         },
         {7}},
        {"moved over one held",
         [] {
             Counted owner(7);
             Counted taker(8);
             taker = std::move(owner);
         },
         {8, 7}},
        {"moved onto itself",
         [] {
             Counted owner(7);
             Counted& same = owner;
             owner = std::move(same);
             EXPECT_TRUE(owner);
         },
         {7}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.row);
        closed.clear();
        row.steps();
        EXPECT_EQ(closed, row.closed);
    }
}

} // namespace
} // namespace platform
