#pragma once

// The simulator installed under Wine: its registry value read from the prefix's system.reg
// (Wine's text registry) and its Windows path turned into a path of this system through the
// prefix's dosdevices drive links.

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

namespace install {

/// The string value `value` of the first of `keys` (paths below HKEY_LOCAL_MACHINE, such as
/// "Software\Thermora\Thermora Simulator") in the text of a Wine system.reg. Key and value
/// names compare without regard to letter case, as in the Windows registry. Escapes (\\, \",
/// \xHHHH, \n, \r, \t, \0) are decoded and continued lines joined. On failure `why` says
/// what was missing.
std::optional<QString> registryString(const QByteArray& registry, const QStringList& keys,
                                      const QString& value, QString& why);

/// The path of this system that the Windows path `windows_path` (such as
/// "C:\Program Files\Thermora") stands for in the Wine prefix `prefix`: the drive through the
/// link dosdevices/<letter>: (a relative link resolves against dosdevices/), then each further
/// component, matched without regard to letter case where the exact name does not exist.
std::optional<QString> unixPath(const QString& prefix, const QString& windows_path, QString& why);

} // namespace install
