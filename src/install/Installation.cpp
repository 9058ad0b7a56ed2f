#include "install/Installation.h"

#include "install/Recordings.h"
#include "install/SystemSearch.h"
#include "platform/Files.h"

#include <algorithm>
#include <string_view>
#include <utility>

namespace install {

InstallationSearch searchInstallations(SearchExtent extent) {
    InstallationSearch search;
    if (std::string value = environmentDirectory(); !value.empty()) {
        if (std::string installation = installationOfDataFolder(value); !installation.empty())
            search.named_place = {NamedPlaceProblem::Kind::DataFolder, value,
                                  std::move(installation)};
        search.found.push_back(
            {std::move(value), "THERMORA_DIR", PlaceKind::Environment, "THERMORA_DIR"});
        search.taken = 0;
        search.because = TakenBecause::Environment;
        if (extent == SearchExtent::UntilTaken)
            return search;
    } else {
        search.passed_over.push_back({PlaceKind::Environment, "THERMORA_DIR", "not set"});
    }
    searchSystem(search);
    return search;
}

namespace {

bool sameLetters(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        const auto lower = [](char c) {
            return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
        };
        return lower(x) == lower(y);
    });
}

// The named place's finding, without what to do.
std::string namedPlaceFinding(const NamedPlaceProblem& problem) {
    switch (problem.kind) {
    case NamedPlaceProblem::Kind::None:
        break;
    case NamedPlaceProblem::Kind::EmptyWinePrefix:
        return "WINEPREFIX names the Wine prefix " + problem.place +
               ", which holds no Thermora installation (" + problem.detail + ")";
    case NamedPlaceProblem::Kind::DataFolder:
        return "THERMORA_DIR names " + problem.place +
               ", the simulator's data folder, not its installation folder";
    }
    return {};
}

} // namespace

std::string installationOfDataFolder(const std::string& dir) {
    std::string folder = dir;
    // Without the separators that end it, as the system writes them.
    while (folder.size() > 1 && platform::fileNameOf(folder).empty())
        folder.pop_back();
    // Only a folder named as the simulator names its data folder: any other folder with an IGC
    // folder in it is the pilot's own, whose parent nobody meant.
    if (!sameLetters(platform::fileNameOf(folder), "data") ||
        platform::inspect(platform::joinPath(folder, "data")).kind != platform::FileKind::Missing)
        return {};
    if (platform::inspect(platform::joinPath(folder, "IGC")).kind !=
            platform::FileKind::Directory &&
        platform::inspect(platform::joinPath(folder, "logbook.dat")).kind !=
            platform::FileKind::Regular)
        return {};
    return platform::directoryOf(folder);
}

std::string namedPlaceLine(const InstallationSearch& search) {
    const NamedPlaceProblem& problem = search.named_place;
    switch (problem.kind) {
    case NamedPlaceProblem::Kind::None:
        break;
    case NamedPlaceProblem::Kind::EmptyWinePrefix:
        return namedPlaceFinding(problem) +
               ": unset WINEPREFIX, or set it to the Wine prefix that holds the simulator, or "
               "give --igc-dir and --logbook";
    case NamedPlaceProblem::Kind::DataFolder:
        return namedPlaceFinding(problem) + ": set THERMORA_DIR to " + problem.detail;
    }
    return {};
}

std::string passedOverText(const InstallationSearch& search) {
    std::string text;
    const auto add = [&text](const std::string& part) {
        text += (text.empty() ? "" : "; ") + part;
    };
    // The first Wine prefix is the pilot's own ($WINEPREFIX or ~/.wine) and worth its reason; the
    // games' prefixes after it can be dozens, so they are counted.
    std::size_t more_prefixes = 0;
    bool prefix_told = false;
    for (const PassedOver& place : search.passed_over) {
        switch (place.kind) {
        case PlaceKind::Environment:
            add(place.place + " is " + place.reason);
            break;
        case PlaceKind::WinePrefix:
            if (prefix_told) {
                ++more_prefixes;
                break;
            }
            prefix_told = true;
            [[fallthrough]];
        case PlaceKind::Registry:
            add(place.place + ": " + place.reason);
            break;
        }
    }
    if (more_prefixes > 0)
        add("nor in " + std::to_string(more_prefixes) +
            " more Wine prefixes of Steam, Lutris or Bottles");
    return text;
}

std::string notFoundDiagnostic(const InstallationSearch& search) {
    return "Error: couldn't find the Thermora installation (" + passedOverText(search) +
           "); set THERMORA_DIR to the simulator's installation directory";
}

std::string notFoundText(const InstallationSearch& search) {
    return "no Thermora installation found (" + passedOverText(search) + ")";
}

std::string choiceText(const InstallationSearch& search) {
    if (!search.taken || search.found.size() < 2 ||
        search.found[*search.taken].kind == PlaceKind::Environment)
        return {};
    const FoundInstallation& taken = search.found[*search.taken];
    std::string text = "Taking the Thermora installation " + taken.directory + " (" + taken.source +
                       (search.because == TakenBecause::WinePrefix
                            ? "): WINEPREFIX names its prefix\n"
                            : "): its IGC directory holds the newest recording\n");
    for (std::size_t k = 0; k < search.found.size(); ++k) {
        if (k != *search.taken)
            text +=
                "Also found: " + search.found[k].directory + " (" + search.found[k].source + ")\n";
    }
    return text;
}

namespace {

std::string labelOf(const FoundInstallation& installation) {
    return installation.label.empty() ? installation.source : installation.label;
}

} // namespace

std::string takenText(const InstallationSearch& search) {
    if (!search.taken)
        return {};
    // The presets are not those of the place the pilot named: that comes first.
    const NamedPlaceProblem& problem = search.named_place;
    if (problem.kind == NamedPlaceProblem::Kind::DataFolder)
        return namedPlaceFinding(problem) + ": set THERMORA_DIR to " + problem.detail +
               " before the program starts";
    const FoundInstallation& taken = search.found[*search.taken];
    std::string text =
        taken.kind == PlaceKind::WinePrefix
            ? "Thermora Simulator in " + labelOf(taken)
            : "Thermora Simulator in " + taken.directory + " (" + labelOf(taken) + ")";
    if (const std::size_t others = search.found.size() - 1; others > 0)
        text += "; " + std::to_string(others) +
                (others == 1 ? " other installation" : " other installations");
    if (problem.kind == NamedPlaceProblem::Kind::EmptyWinePrefix)
        return namedPlaceFinding(problem) + ". Taken instead: " + text;
    return text;
}

std::string installationText(const FoundInstallation& installation) {
    return labelOf(installation) + ": " + installation.directory;
}

PresetPaths presetPathsBeside(const std::string& dir, const std::string& virtual_store,
                              char separator) {
    const auto data = [separator](const std::string& base) { return base + separator + "data"; };
    const auto presets = [&](const std::string& base) {
        return PresetPaths{
            data(base) + separator + "IGC", data(base) + separator + "logbook.dat", {}};
    };
    PresetPaths own = presets(dir);
    if (virtual_store.empty() ||
        platform::inspect(data(virtual_store)).kind != platform::FileKind::Directory)
        return own;
    PresetPaths copy = presets(virtual_store);
    const bool logbook_there =
        platform::inspect(copy.logbook_file).kind == platform::FileKind::Regular;
    // The installation's own first: the copy's recordings win only when newer.
    const std::int64_t newest[] = {newestRecording(own.igc_directory),
                                   newestRecording(copy.igc_directory)};
    if (!logbook_there && newestRecordingAmong(newest) == 0)
        return own;
    // A copy without an IGC folder holds the logbook alone: the recordings are still where the
    // simulator finds them, in the installation's own IGC folder.
    const bool recordings_there =
        platform::inspect(copy.igc_directory).kind == platform::FileKind::Directory;
    if (!recordings_there)
        copy.igc_directory = own.igc_directory;
    copy.note = "The simulator keeps its logbook" +
                std::string(recordings_there ? " and recordings" : "") + " in " +
                data(virtual_store) + ", where Windows puts what it writes under " + data(dir);
    return copy;
}

std::string virtualStoreCopy(const std::string& dir, const std::string& virtual_store_root) {
    const bool drive = dir.size() >= 3 &&
                       ((dir[0] >= 'A' && dir[0] <= 'Z') || (dir[0] >= 'a' && dir[0] <= 'z')) &&
                       dir[1] == ':' && (dir[2] == '\\' || dir[2] == '/');
    if (!drive || virtual_store_root.empty())
        return {};
    std::string rest = dir.substr(3);
    while (!rest.empty() && (rest.back() == '\\' || rest.back() == '/'))
        rest.pop_back();
    return rest.empty() ? std::string() : virtual_store_root + "\\" + rest;
}

} // namespace install
