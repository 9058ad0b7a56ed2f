#include "platform/TemporaryNames.h"

#include <random>

namespace platform {

namespace {
constexpr std::string_view kMark = ".tmp-";
constexpr std::string_view kLetters =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
constexpr std::size_t kCount = 6;
} // namespace

std::string temporaryNameFor(const std::string& target) {
    thread_local std::mt19937 random(std::random_device{}());
    std::uniform_int_distribution<std::size_t> pick(0, kLetters.size() - 1);
    std::string name = target;
    name += kMark;
    for (std::size_t k = 0; k < kCount; ++k)
        name += kLetters[pick(random)];
    return name;
}

bool isTemporaryOf(std::string_view target_name, std::string_view name) {
    if (name.size() != target_name.size() + kMark.size() + kCount ||
        name.substr(0, target_name.size()) != target_name ||
        name.substr(target_name.size(), kMark.size()) != kMark)
        return false;
    return name.substr(target_name.size() + kMark.size()).find_first_not_of(kLetters) ==
           std::string_view::npos;
}

} // namespace platform
