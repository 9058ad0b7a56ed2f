#pragma once

// The simulator installed under Wine: its registry value read from the prefix's system.reg
// (Wine's text registry) and its Windows path turned into a path of this system through the
// prefix's dosdevices drive links.

#include "platform/Expected.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>
#include <system_error>

namespace install {

/// Why a Wine prefix names no installation, as data: what is missing or wrong, and of what.
/// `wineReason` words it.
struct WineFailure {
    enum class Kind {
        NoFile,           // the file `subject` (its name) is not there
        Unreadable,       // the file `subject` could not be opened or looked at: `error`
        NotRegularFile,   // the file `subject` is a named pipe, a device, a directory...
        TooLarge,         // the file `subject` is larger than any registry
        NotRegistry,      // the text is not a Wine registry's
        NoKey,            // none of `keys` is in the registry
        NoValue,          // the key `place` has no value `subject`
        NotString,        // the value `subject` of the key `place` is not a string
        ControlCharacter, // the Windows path `subject` holds one, which no Windows path can
        NoDriveLetter,    // the Windows path `subject` has none
        AboveRoot,        // the Windows path `subject` leads above the root of its drive `place`
        NoDrive,          // the folder `place` (the prefix's dosdevices) has no drive `subject`
        NoEntry,          // the folder `place` has no `subject`, in any letter case
    };
    Kind kind = Kind::NotRegistry;
    QString subject;
    QString place;
    QStringList keys;
    std::error_code error;
};

/// The failure in words, for the user: "no system.reg", "no key A or B", "\"C:\\x\" has no
/// drive letter"... A Windows path's control characters are shown as \xNN.
QString wineReason(const WineFailure& failure);

/// Gives the next bytes of a registry's text: up to `room` of them into `into`, and how many it
/// gave; 0 (or less) at the end.
using RegistryBytes = std::function<qsizetype(char* into, qsizetype room)>;

/// The string value `value` of the first of `keys` (paths below HKEY_LOCAL_MACHINE, such as
/// "Software\Thermora\Thermora Simulator") in the text of a Wine system.reg that `read` gives.
/// Key and value names compare without regard to letter case, as in the Windows registry.
/// Escapes (\\, \", \xHHHH, \n, \r, \t, \0) are decoded and continued lines joined. The text is
/// read a line at a time and only as far as the answer needs: a prefix's registry can hold tens
/// of megabytes, of which the key is a few lines. Fails with NotRegistry, NoKey, NoValue or
/// NotString.
platform::Expected<QString, WineFailure>
registryString(const RegistryBytes& read, const QStringList& keys, const QString& value);

/// The same, of a registry's whole text in memory.
platform::Expected<QString, WineFailure>
registryString(const QByteArray& registry, const QStringList& keys, const QString& value);

/// The path of this system that the Windows path `windows_path` (such as
/// "C:\Program Files\Thermora") stands for in the Wine prefix `prefix`: the drive through the
/// link dosdevices/<letter>: (a relative link resolves against dosdevices/), then each further
/// component, matched without regard to letter case where the exact name does not exist. "."
/// and ".." are taken as Windows takes them, by the text alone; a path whose ".." climbs above
/// its drive's root is refused, as is one holding a control character, which no Windows path
/// can hold. Where a drive's link points is the pilot's own setting (z: is the whole system).
/// Fails with ControlCharacter, NoDriveLetter, AboveRoot, NoDrive or NoEntry; with MayNotExistYet,
/// the components from the first that does not exist on are kept as written instead (a logbook
/// file not written yet, a folder to be made), and NoEntry never comes.
enum class PathTail { MustExist, MayNotExistYet };
platform::Expected<QString, WineFailure>
unixPath(const QString& prefix, const QString& windows_path, PathTail tail = PathTail::MustExist);

} // namespace install
