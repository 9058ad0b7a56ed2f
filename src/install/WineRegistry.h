#pragma once

// The simulator installed under Wine: its registry value read from the prefix's system.reg
// (Wine's text registry) and its Windows path turned into a path of this system through the
// prefix's dosdevices drive links.

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace install {

/// Gives the next bytes of a registry's text: up to `room` of them into `into`, and how many it
/// gave; 0 (or less) at the end.
using RegistryBytes = std::function<qsizetype(char* into, qsizetype room)>;

/// The string value `value` of the first of `keys` (paths below HKEY_LOCAL_MACHINE, such as
/// "Software\Thermora\Thermora Simulator") in the text of a Wine system.reg that `read` gives.
/// Key and value names compare without regard to letter case, as in the Windows registry.
/// Escapes (\\, \", \xHHHH, \n, \r, \t, \0) are decoded and continued lines joined. The text is
/// read a line at a time and only as far as the answer needs: a prefix's registry can hold tens
/// of megabytes, of which the key is a few lines. On failure `why` says what was missing.
std::optional<QString> registryString(const RegistryBytes& read, const QStringList& keys,
                                      const QString& value, QString& why);

/// The same, of a registry's whole text in memory.
std::optional<QString> registryString(const QByteArray& registry, const QStringList& keys,
                                      const QString& value, QString& why);

/// The path of this system that the Windows path `windows_path` (such as
/// "C:\Program Files\Thermora") stands for in the Wine prefix `prefix`: the drive through the
/// link dosdevices/<letter>: (a relative link resolves against dosdevices/), then each further
/// component, matched without regard to letter case where the exact name does not exist. "."
/// and ".." are taken as Windows takes them, by the text alone; a path whose ".." climbs above
/// its drive's root is refused, as is one holding a control character, which no Windows path
/// can hold. Where a drive's link points is the pilot's own setting (z: is the whole system).
std::optional<QString> unixPath(const QString& prefix, const QString& windows_path, QString& why);

} // namespace install
