#pragma once

// Where the simulator is installed, for every program (the dialogs and the command line, with or
// without Qt): what the search found, the installation a run takes, and why each other place
// held none. The search only gathers; the programs say what it found, in the words of the
// functions below, on the streams of their own choice. Directories are as the core takes paths:
// bytes on POSIX systems, UTF-8 on Windows.

#include "platform/LocaleDates.h"

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace install {

/// The kinds of place that the search looks in.
enum class PlaceKind {
    Environment, // THERMORA_DIR
    WinePrefix,  // a Wine prefix: $WINEPREFIX (else ~/.wine), then Steam's, Lutris's, Bottles's
    Registry,    // the Windows registry
};

struct FoundInstallation {
    std::string directory; // as stored, nothing trimmed
    std::string source;    // where it was found, for the user ("THERMORA_DIR", "registry")
    PlaceKind kind = PlaceKind::Environment;
    std::string label; // the same, short, for a line under a form: "Steam (Proton), prefix 2212330"
    std::string wine_prefix = {}; // the Wine prefix whose registry names it; empty elsewhere
    bool operator==(const FoundInstallation&) const = default;
};

/// A place searched that holds no installation, and why.
struct PassedOver {
    PlaceKind kind = PlaceKind::Environment;
    std::string place;  // named as FoundInstallation::source names it
    std::string reason; // "not set", "no system.reg", "system.reg is not a regular file", ...
    bool operator==(const PassedOver&) const = default;
};

/// Why the installation taken was taken.
enum class TakenBecause {
    OnlyOne,         // nothing else was found
    Environment,     // THERMORA_DIR names it
    WinePrefix,      // WINEPREFIX names its prefix: the pilot's choice
    NewestRecording, // of several, its IGC directory holds the newest recording
};

/// A place that the pilot named, in which the search found no installation as named: the pilot
/// meant that place, so a run does not go on with another without a word.
struct NamedPlaceProblem {
    enum class Kind {
        None,
        EmptyWinePrefix, // WINEPREFIX names `place`, which holds none (`detail`: why), while
                         // the installation taken is another prefix's
        DataFolder,      // THERMORA_DIR names `place`, the simulator's data folder; `detail`:
                         // the installation folder, which holds it
    };
    Kind kind = Kind::None;
    std::string place;
    std::string detail;
    bool operator==(const NamedPlaceProblem&) const = default;
};

struct InstallationSearch {
    std::vector<FoundInstallation> found; // THERMORA_DIR's first, then the system's, as searched
    std::optional<std::size_t> taken;     // the one a run takes, in `found`; none when empty
    TakenBecause because = TakenBecause::OnlyOne;
    std::vector<PassedOver> passed_over; // in the order searched
    NamedPlaceProblem named_place = {};
};

/// How far the search goes.
enum class SearchExtent {
    UntilTaken, // THERMORA_DIR, when set, is taken as set and ends the search
    Everywhere, // every place, for a list of all installations
};

/// Searches for the simulator: THERMORA_DIR when set and not empty (it wins); then, on Windows,
/// the registry's "Location" (64-bit view, then 32-bit); elsewhere the Wine prefixes of plain
/// Wine, Steam's Proton, Lutris and Bottles (winePrefixes in Installations.h), of which the one
/// whose IGC directory holds the newest recording is taken. Notes a place named by the pilot that
/// holds no installation as named (`named_place`). Writes nothing.
InstallationSearch searchInstallations(SearchExtent extent = SearchExtent::UntilTaken);

/// The installation folder that THERMORA_DIR's value `dir` stands for when it names the
/// simulator's data folder instead (it has IGC or logbook.dat, and no data folder of its own):
/// the folder that holds it; empty otherwise.
std::string installationOfDataFolder(const std::string& dir);

/// The directory that a registry's "Location" value names: the value without the double quotes
/// around it that some installers store (C:\Program Files\Thermora, stored as "C:\...").
inline std::string unquotedLocation(const std::string& value) {
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
        return value.substr(1, value.size() - 2);
    return value;
}

/// What a named place's problem means and what to do, for the command line, which stops:
/// "WINEPREFIX names the Wine prefix /x, which holds no Thermora installation (no system.reg):
/// unset WINEPREFIX, or set it to the Wine prefix that holds the simulator, or give --igc-dir and
/// --logbook". Empty without a problem.
std::string namedPlaceLine(const InstallationSearch& search);

struct PresetPaths {
    std::string igc_directory; // D/data/IGC
    std::string logbook_file;  // D/data/logbook.dat
    /// Where the presets point when it is not the installation's own data folder, and why; empty
    /// otherwise.
    std::string note;
};

/// The presets of installation directory `dir`, joined with the system's separator; `dir` is
/// used exactly as given (a trailing separator stays, so two stand in a row). On Windows, where
/// an older simulator under Program Files has its writes redirected to the user's VirtualStore,
/// the presets point there when its logbook or its newest recording is there (see below).
PresetPaths presetPaths(const std::string& dir);

/// The presets of `dir` when `virtual_store` is the installation's copy in the user's VirtualStore
/// (empty: none): the copy's data folder is taken when it holds the logbook, or a recording newer
/// than any of the installation's own, as that is where the simulator reads and writes them.
/// `separator` joins the names.
PresetPaths presetPathsBeside(const std::string& dir, const std::string& virtual_store,
                              char separator);

/// An installation's copy in a VirtualStore folder (`virtual_store_root`, the user's
/// %LOCALAPPDATA%\VirtualStore): `dir` without its drive under it; empty when `dir` has no
/// drive ("C:\Program Files\T" gives "<root>\Program Files\T").
std::string virtualStoreCopy(const std::string& dir, const std::string& virtual_store_root);

/// What was searched in vain, for the texts below: "THERMORA_DIR is not set; Wine prefix
/// /home/jo/.wine: no system.reg; nor in 2 more Wine prefixes of Steam, Lutris or Bottles".
std::string passedOverText(const InstallationSearch& search);

/// The line (without its end) that a dialog writes to the terminal when nothing was found:
/// "Error: couldn't find the Thermora installation (<passedOverText>); set THERMORA_DIR to the
/// simulator's installation directory".
std::string notFoundDiagnostic(const InstallationSearch& search);

/// A run's reason when nothing was found: "no Thermora installation found (<passedOverText>)".
std::string notFoundText(const InstallationSearch& search);

/// The lines, each with its line end, that say which of several installations was taken and why
/// ("Taking the Thermora installation D (S): its IGC directory holds the newest recording", or
/// "...: WINEPREFIX names its prefix") and which others were found ("Also found: D (S)"). Empty
/// when there was no choice to make: none or one found, or THERMORA_DIR taken as set.
std::string choiceText(const InstallationSearch& search);

/// Where a dialog's presets come from, in one line under its form: "Thermora Simulator in Steam
/// (Proton), prefix 2212330; 2 other installations", after the named place's problem when there
/// is one. Empty when nothing was found.
std::string takenText(const InstallationSearch& search);
/// One installation as a list of them shows it: "Steam (Proton), prefix 2212330: D".
std::string installationText(const FoundInstallation& installation);

/// The form of the entries' dates: the one in which the simulator writes dates for its Windows
/// user. On Windows the user's short date form; elsewhere the short date form (sShortDate) that
/// the user.reg of the simulator's Wine prefix sets (the prefix whose drive_c holds
/// `logbook_path`, else that of the installation `search` took), else the Unix locale's.
platform::DateFormatter entryDateFormatter(const std::string& logbook_path,
                                           const InstallationSearch& search);

/// A path given as Windows writes it ("C:\Users\jo\logbook.dat"), as this system reaches it.
struct GivenPath {
    std::string path;    // the path to use: translated, or as given
    std::string note;    // the translation, said in one line; empty when there was none
    std::string problem; // why a Windows path could not be translated; empty otherwise
};

/// `given` as this system reaches it: on Windows as it is; elsewhere a path with a drive letter
/// that names nothing here is translated through the drives of the Wine prefix of the
/// installation `search` took (else $WINEPREFIX, else ~/.wine): its dosdevices links, letter
/// case as Windows ignores it. A drive that the prefix lacks, or no prefix at all, is a problem.
GivenPath givenPath(const std::string& given, const InstallationSearch& search);

} // namespace install
