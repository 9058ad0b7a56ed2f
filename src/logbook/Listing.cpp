#include "logbook/Listing.h"

#include "logbook/Text.h"

#include <algorithm>
#include <ostream>

namespace logbook {

namespace {

struct Listed {
    FlightFile file;
    std::u16string text; // the name as text, for the order of equal times
};

} // namespace

std::string escaped(std::string_view text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string shown;
    shown.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte != 0x7F) {
            shown += c;
        } else {
            shown += "\\x";
            shown += kHex[byte >> 4];
            shown += kHex[byte & 0xF];
        }
    }
    return shown;
}

std::string kindText(platform::FileKind kind, std::error_code error) {
    switch (kind) {
    case platform::FileKind::Regular:
    case platform::FileKind::Directory:
    case platform::FileKind::Missing:
        return {};
    case platform::FileKind::CharacterDevice:
        return "a character device";
    case platform::FileKind::BlockDevice:
        return "a block device";
    case platform::FileKind::NamedPipe:
        return "a named pipe";
    case platform::FileKind::Socket:
        return "a socket";
    case platform::FileKind::DanglingLink:
        return "a dangling symbolic link";
    case platform::FileKind::LinkLoop:
        return "a loop of symbolic links";
    case platform::FileKind::ForeignLink:
        return "a link of another user's; not followed";
    case platform::FileKind::Other:
        break;
    }
    return error ? platform::systemReason(error) : "not a regular file";
}

Expected<std::vector<FlightFile>> listFlights(const std::string& directory,
                                              std::ostream& diagnostics, int* hidden) {
    const auto refused = [&directory](std::error_code code, std::string detail) {
        return unexpected(Failure{FailureKind::Directory, directory, code, std::move(detail)});
    };
    if (directory.empty())
        return refused({}, "No IGC directory was given");
    // Flights read through another user's link to a folder would go into this run's logbook as
    // surely as through links to the flights themselves.
    if (const platform::PathInfo info = platform::inspect(directory);
        info.kind == platform::FileKind::ForeignLink)
        return refused({}, info.foreign_link + " is " + kindText(info.kind, {}));
    int hidden_names = 0;
    const auto wanted = [&hidden_names](std::string_view name) {
        if (platform::isFlightName(name))
            return true;
        // Left out as the simulator's own listing leaves them out, but counted for the pilot.
        if (name.size() > 1 && name[0] == '.' && platform::isFlightName(name.substr(1)))
            ++hidden_names;
        return false;
    };
    auto folder = std::make_shared<platform::Folder>();
    std::string foreign;
    if (const std::error_code error = folder->open(directory, &foreign)) {
        if (!foreign.empty())
            return refused({}, foreign + " is " + kindText(platform::FileKind::ForeignLink, {}));
        return refused(error, {});
    }
    platform::Expected<std::vector<platform::DirectoryEntry>, std::error_code> entries =
        folder->list(wanted);
    if (!entries)
        return refused(entries.error(), {});
    std::vector<Listed> listed;
    listed.reserve(entries->size());
    for (platform::DirectoryEntry& entry : *entries) {
        Listed item;
        item.file.path = platform::joinPath(directory, entry.name);
        // Another user's link is handed on: its reading refuses it, and the file counts as
        // skipped with that reason.
        if (entry.kind != platform::FileKind::Regular &&
            entry.kind != platform::FileKind::Directory &&
            entry.kind != platform::FileKind::ForeignLink) {
            // Could block a reader or leads nowhere.
            const bool special = entry.kind != platform::FileKind::DanglingLink &&
                                 entry.kind != platform::FileKind::LinkLoop &&
                                 entry.kind != platform::FileKind::Other;
            diagnostics << "Skipping " << escaped(item.file.path) << ": "
                        << kindText(entry.kind, entry.error) << (special ? ", not a file" : "")
                        << "\n";
            continue;
        }
        item.file.folder = folder;
        item.file.name = std::move(entry.name);
        item.file.modified_ms = entry.modified_ms;
        item.file.size = entry.size;
        item.file.is_link = entry.is_link;
        item.text = utf16Of(item.file.name);
        listed.push_back(std::move(item));
    }
    // Oldest first; equal times go by name, descending, compared as text the way the toolkit's
    // listing always ordered them, so that a logbook rebuilt today has yesterday's order.
    std::sort(listed.begin(), listed.end(), [](const Listed& a, const Listed& b) {
        if (a.file.modified_ms != b.file.modified_ms)
            return a.file.modified_ms < b.file.modified_ms;
        if (a.text != b.text)
            return a.text > b.text;
        return a.file.name > b.file.name;
    });
    std::vector<FlightFile> files;
    files.reserve(listed.size());
    for (Listed& item : listed)
        files.push_back(std::move(item.file));
    if (hidden != nullptr)
        *hidden = hidden_names;
    return files;
}

namespace {

constexpr int kLookedAtAtMost = 10000;

// The recordings in `folder` and in its subfolders `depth` levels down; `looked_at` counts the
// entries seen, so that a huge tree is not walked whole.
int recordingsUnder(const std::string& folder, int depth, int& looked_at) {
    if (looked_at >= kLookedAtAtMost)
        return 0;
    const auto entries = platform::listDirectory(
        folder, [](std::string_view name) { return !name.starts_with('.'); });
    if (!entries)
        return 0;
    int recordings = 0;
    for (const platform::DirectoryEntry& entry : *entries) {
        if (++looked_at >= kLookedAtAtMost)
            break;
        if (entry.kind == platform::FileKind::Regular && platform::isFlightName(entry.name))
            ++recordings;
        else if (entry.kind == platform::FileKind::Directory && !entry.is_link && depth > 0)
            recordings +=
                recordingsUnder(platform::joinPath(folder, entry.name), depth - 1, looked_at);
    }
    return recordings;
}

} // namespace

RecordingsElsewhere findRecordingsElsewhere(const std::string& directory) {
    RecordingsElsewhere found;
    if (directory.empty())
        return found;
    auto listed = platform::listDirectory(
        directory, [](std::string_view name) { return !name.starts_with('.'); });
    if (!listed)
        return found;
    std::vector<platform::DirectoryEntry>& entries = *listed;
    std::sort(entries.begin(), entries.end(),
              [](const auto& a, const auto& b) { return a.name < b.name; });
    int looked_at = 0;
    for (const platform::DirectoryEntry& entry : entries) {
        if (entry.kind != platform::FileKind::Directory || entry.is_link)
            continue;
        const std::string folder = platform::joinPath(directory, entry.name);
        std::string lower = entry.name;
        std::transform(lower.begin(), lower.end(), lower.begin(),
                       [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; });
        if (lower == "igc" && found.igc_folder.empty()) {
            int igc_looked_at = 0;
            if (const int recordings = recordingsUnder(folder, 0, igc_looked_at); recordings > 0) {
                found.igc_folder = folder;
                found.igc_recordings = recordings;
            }
        }
        if (const int recordings = recordingsUnder(folder, 1, looked_at); recordings > 0) {
            found.in_subfolders += recordings;
            if (found.subfolder.empty())
                found.subfolder = folder;
            ++found.subfolders;
        }
    }
    return found;
}

} // namespace logbook
