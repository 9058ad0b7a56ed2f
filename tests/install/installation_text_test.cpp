// What the programs say about a search, worded once from its data: the places searched in vain
// and the choice among several installations.

#include "install/Installation.h"

#include <gtest/gtest.h>

namespace install {
namespace {

const PassedOver kNoEnvironment{PlaceKind::Environment, "THERMORA_DIR", "not set"};

PassedOver prefix(const std::string& place) {
    return {PlaceKind::WinePrefix, place, "no system.reg"};
}

TEST(InstallationText, TellsThePlacesPassedOver) {
    const struct {
        const char* name;
        std::vector<PassedOver> passed_over;
        std::string text;
    } rows[] = {
        {"no Wine prefix at all", {kNoEnvironment}, "THERMORA_DIR is not set"},
        {"the pilot's own prefix",
         {kNoEnvironment, prefix("Wine prefix /h/.wine")},
         "THERMORA_DIR is not set; Wine prefix /h/.wine: no system.reg"},
        // The games' prefixes after it are counted: there can be dozens.
        {"the games' prefixes counted",
         {kNoEnvironment, prefix("Wine prefix /h/.wine"), prefix("Steam Proton prefix /s/1/pfx"),
          prefix("Bottles bottle /b/x")},
         "THERMORA_DIR is not set; Wine prefix /h/.wine: no system.reg; nor in 2 more Wine "
         "prefixes of Steam, Lutris or Bottles"},
        {"the Windows registry",
         {kNoEnvironment, {PlaceKind::Registry, "registry", "no key HKEY_LOCAL_MACHINE\\X"}},
         "THERMORA_DIR is not set; registry: no key HKEY_LOCAL_MACHINE\\X"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        InstallationSearch search;
        search.passed_over = row.passed_over;
        EXPECT_EQ(passedOverText(search), row.text);
        EXPECT_EQ(notFoundText(search), "no Thermora installation found (" + row.text + ")");
    }
}

TEST(InstallationText, TellsAChoiceOnlyWhereTheNewestRecordingMadeOne) {
    const FoundInstallation environment{"/opt/t", "THERMORA_DIR", PlaceKind::Environment};
    const FoundInstallation a{"/a", "Wine prefix /h/.wine", PlaceKind::WinePrefix};
    const FoundInstallation b{"/b", "Bottles bottle /b/x", PlaceKind::WinePrefix};
    const FoundInstallation c{"/c", "Steam Proton prefix /s/1/pfx", PlaceKind::WinePrefix};
    const struct {
        const char* name;
        std::vector<FoundInstallation> found;
        std::optional<std::size_t> taken;
        std::string text;
    } rows[] = {
        {"none", {}, std::nullopt, ""},
        {"one", {a}, 0, ""},
        {"THERMORA_DIR as set, among others", {environment, a, b}, 0, ""},
        {"the second of three",
         {a, b, c},
         1,
         "Taking the Thermora installation /b (Bottles bottle /b/x): its IGC directory holds the "
         "newest recording\n"
         "Also found: /a (Wine prefix /h/.wine)\n"
         "Also found: /c (Steam Proton prefix /s/1/pfx)\n"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        InstallationSearch search;
        search.found = row.found;
        search.taken = row.taken;
        EXPECT_EQ(choiceText(search), row.text);
    }
}

} // namespace
} // namespace install
