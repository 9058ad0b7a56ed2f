#include "install/SystemSearch.h"

#include "install/Installations.h"
#include "install/WineRegistry.h"
#include "platform/Files.h"

#include <QDir>
#include <QFile>

#include <cstdlib>
#include <filesystem>

namespace install {

std::string environmentDirectory() {
    const char* value = std::getenv("THERMORA_DIR");
    return value == nullptr ? std::string() : std::string(value);
}

void searchSystem(InstallationSearch& search) {
    std::vector<MissedPrefix> missed;
    const std::vector<Installation> installations = installationsIn(winePrefixes(), &missed);
    for (const MissedPrefix& prefix : missed)
        search.passed_over.push_back({PlaceKind::WinePrefix,
                                      prefix.description.toLocal8Bit().toStdString(),
                                      wineReason(prefix.failure).toLocal8Bit().toStdString()});
    if (!search.taken && !installations.empty()) {
        const std::size_t preferred = preferredInstallation(installations);
        search.taken = search.found.size() + preferred;
        search.because = installations[preferred].named_by_pilot ? TakenBecause::WinePrefix
                         : installations.size() > 1              ? TakenBecause::NewestRecording
                                                                 : TakenBecause::OnlyOne;
        // The prefix that WINEPREFIX names holds none: another prefix's is no silent stand-in.
        for (const MissedPrefix& prefix : missed) {
            if (prefix.named_by_pilot)
                search.named_place = {NamedPlaceProblem::Kind::EmptyWinePrefix,
                                      QFile::encodeName(prefix.path).toStdString(),
                                      wineReason(prefix.failure).toLocal8Bit().toStdString()};
        }
    }
    for (const Installation& installation : installations)
        search.found.push_back(
            {installation.directory, installation.source.toLocal8Bit().toStdString(),
             PlaceKind::WinePrefix, installation.label.toLocal8Bit().toStdString(),
             QFile::encodeName(installation.prefix).toStdString()});
}

PresetPaths presetPaths(const std::string& dir) {
    return {dir + "/data/IGC", dir + "/data/logbook.dat", {}};
}

namespace {

// The Wine prefix whose drive C: holds `path`: the folder above its drive_c, when that folder
// has a registry of a prefix. Empty otherwise.
std::string winePrefixHolding(const std::string& path) {
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(path, error);
    if (error)
        return {};
    for (std::filesystem::path folder = absolute.lexically_normal(); folder.has_relative_path();
         folder = folder.parent_path()) {
        if (folder.filename() != "drive_c")
            continue;
        const std::filesystem::path prefix = folder.parent_path();
        if (platform::inspect((prefix / "user.reg").string()).kind == platform::FileKind::Regular)
            return prefix.string();
    }
    return {};
}

// The prefix of the installation taken, when it was found in one.
std::string takenPrefix(const InstallationSearch& search) {
    return search.taken ? search.found[*search.taken].wine_prefix : std::string();
}

// A path that begins with a drive letter, as only Windows writes them.
bool hasDriveLetter(const std::string& path) {
    return path.size() >= 3 &&
           ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z')) &&
           path[1] == ':' && (path[2] == '\\' || path[2] == '/');
}

} // namespace

platform::DateFormatter entryDateFormatter(const std::string& logbook_path,
                                           const InstallationSearch& search) {
    std::string prefix = winePrefixHolding(logbook_path);
    if (prefix.empty())
        prefix = takenPrefix(search);
    if (!prefix.empty()) {
        const QString picture = wineShortDate(QFile::decodeName(prefix.c_str()));
        if (platform::DateFormatter formatter =
                platform::pictureDateFormatter(picture.toStdString()))
            return formatter;
    }
    // Wine itself takes the Unix locale's form where the prefix sets none.
    return platform::localeDateFormatter();
}

GivenPath givenPath(const std::string& given, const InstallationSearch& search) {
    // A name such as "C:\x" is a name like any other here: one that exists is taken as it is.
    if (!hasDriveLetter(given) || platform::inspect(given).kind != platform::FileKind::Missing)
        return {given, {}, {}};
    std::string prefix = takenPrefix(search);
    if (prefix.empty()) {
        const QByteArray named = qgetenv("WINEPREFIX");
        prefix = !named.isEmpty() ? named.toStdString()
                                  : QFile::encodeName(QDir::homePath()).toStdString() + "/.wine";
        if (platform::inspect(prefix + "/dosdevices").kind != platform::FileKind::Directory)
            return {given,
                    {},
                    given + " is a Windows path, and no Wine prefix is known to find it in; give "
                            "the path as this system names it"};
    }
    const platform::Expected<QString, WineFailure> path =
        unixPath(QFile::decodeName(prefix.c_str()), QFile::decodeName(given.c_str()),
                 PathTail::MayNotExistYet);
    if (!path)
        return {given,
                {},
                given + " is a Windows path, and the Wine prefix " + prefix +
                    " has no place for it (" +
                    wineReason(path.error()).toLocal8Bit().toStdString() + ")"};
    const std::string translated = QFile::encodeName(*path).toStdString();
    return {translated, given + " is " + translated + " in the Wine prefix " + prefix, {}};
}

} // namespace install
