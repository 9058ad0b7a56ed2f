#pragma once

// How the temporary files beside a target are named, on every platform: the target's name,
// ".tmp-" and six letters or digits. Nothing else is ever named so, which lets a later run
// remove what a dead one left, and only that.

#include <string>
#include <string_view>

namespace platform {

/// A new name beside `target` (its path) in that form; drawn at random, so that two runs
/// seldom draw the same, and whoever creates it must still create it exclusively.
std::string temporaryNameFor(const std::string& target);

/// Whether `name` (a directory entry's) is a temporary file's name of the target named
/// `target_name` (without its directory).
bool isTemporaryOf(std::string_view target_name, std::string_view name);

} // namespace platform
