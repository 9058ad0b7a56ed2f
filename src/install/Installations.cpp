#include "install/Installations.h"

#include "platform/Files.h"

#include "install/WineRegistry.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>
#include <QStringList>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <optional>

namespace install {

namespace {

// Wine's system.reg holds a few megabytes, tens in a prefix full of programs; anything far larger
// is not a registry, and is not read.
constexpr off_t kMaxRegistrySize = 64 * 1024 * 1024;

// A text file of configuration (a registry, a Steam library list, a Lutris game), opened only
// when it is a regular file of sane size: a named pipe would block the start for ever and a link
// to an endless device would fill the memory. The descriptor, with the size the file had, or -1
// and why not.
int openSaneFile(const QString& path, off_t& size, QString& why) {
    const QString name = QFileInfo(path).fileName();
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        why =
            errno == ENOENT
                ? QStringLiteral("no %1").arg(name)
                : QStringLiteral("%1: %2").arg(name, QString::fromLocal8Bit(std::strerror(errno)));
        return -1;
    }
    struct stat info {};
    if (fstat(fd, &info) != 0) {
        why = QStringLiteral("%1: %2").arg(name, QString::fromLocal8Bit(std::strerror(errno)));
    } else if (!S_ISREG(info.st_mode)) {
        why = QStringLiteral("%1 is not a regular file").arg(name);
    } else if (info.st_size > kMaxRegistrySize) {
        why = QStringLiteral("%1 is larger than 64 MiB").arg(name);
    } else {
        size = info.st_size;
        return fd;
    }
    ::close(fd);
    return -1;
}

// Reads up to `room` bytes of `fd` into `into`, no further than `left` bytes in all (the size the
// file had when opened: one that grows meanwhile is read no further); 0 at the end.
qsizetype readSome(int fd, char* into, qsizetype room, off_t& left) {
    for (;;) {
        const auto wanted = static_cast<std::size_t>(std::min<off_t>(room, left));
        if (wanted == 0)
            return 0;
        const ssize_t got = ::read(fd, into, wanted);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return 0; // a file that shrank while it was read
        left -= got;
        return got;
    }
}

// The whole of a small text file of configuration (see openSaneFile).
bool readSaneFile(const QString& path, QByteArray& content, QString& why) {
    off_t left = 0;
    const int fd = openSaneFile(path, left, why);
    if (fd < 0)
        return false;
    content.resize(static_cast<qsizetype>(left));
    qsizetype at = 0;
    while (const qsizetype got = readSome(fd, content.data() + at, content.size() - at, left))
        at += got;
    content.truncate(at);
    ::close(fd);
    return true;
}

// The installation directory that the registry of the Wine prefix `prefix` names. The registry
// is read as it goes: a prefix full of programs has one of tens of megabytes.
std::optional<QString> fromWinePrefix(const QString& prefix, QString& why) {
    off_t left = 0;
    const int fd = openSaneFile(prefix + QStringLiteral("/system.reg"), left, why);
    if (fd < 0)
        return std::nullopt;
    const QStringList keys = {
        QStringLiteral("Software\\Thermora\\Thermora Simulator"),
        QStringLiteral("Software\\Wow6432Node\\Thermora\\Thermora Simulator")};
    const std::optional<QString> location = registryString(
        [fd, &left](char* into, qsizetype room) { return readSome(fd, into, room, left); }, keys,
        QStringLiteral("Location"), why);
    ::close(fd);
    if (!location)
        return std::nullopt;
    return unixPath(prefix, *location, why);
}

// Milliseconds since 1970 of the newest *.igc of `directory`; -1 when it holds none.
std::int64_t newestRecording(const QString& directory) {
    std::vector<platform::DirectoryEntry> entries;
    int error = 0;
    if (!platform::listDirectory(QFile::encodeName(directory).toStdString(), platform::isFlightName,
                                 entries, error))
        return -1;
    std::int64_t newest = -1;
    for (const platform::DirectoryEntry& entry : entries) {
        if (entry.kind == platform::FileKind::Regular)
            newest = std::max(newest, entry.modified_ms);
    }
    return newest;
}

QString home() {
    return QDir::homePath();
}

// The subdirectories of `directory`, sorted by name.
QStringList subdirectories(const QString& directory) {
    return QDir(directory).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
}

// The library folders that Steam's libraryfolders.vdf lists ("path"  "/mnt/games/SteamLibrary").
QStringList steamLibraries(const QString& root) {
    QStringList libraries;
    for (const QString& list : {root + QStringLiteral("/steamapps/libraryfolders.vdf"),
                                root + QStringLiteral("/config/libraryfolders.vdf")}) {
        QByteArray text;
        QString why;
        if (!readSaneFile(list, text, why))
            continue;
        static const QRegularExpression path(QStringLiteral(R"re("path"\s+"((?:[^"\\]|\\.)*)")re"));
        for (auto match = path.globalMatch(QString::fromUtf8(text)); match.hasNext();) {
            QString library = match.next().captured(1);
            library.replace(QStringLiteral("\\\\"), QStringLiteral("\\"));
            libraries << library;
        }
    }
    return libraries;
}

// The Wine prefix that a Lutris game configuration names ("  prefix: /home/x/Games/thermora").
QString lutrisPrefix(const QString& config) {
    QByteArray text;
    QString why;
    if (!readSaneFile(config, text, why))
        return {};
    static const QRegularExpression prefix(QStringLiteral(R"re(^\s*prefix:\s*(.*?)\s*$)re"),
                                           QRegularExpression::MultilineOption);
    const QRegularExpressionMatch match = prefix.match(QString::fromUtf8(text));
    if (!match.hasMatch())
        return {};
    QString path = match.captured(1);
    if (path.size() >= 2 &&
        (path.front() == QLatin1Char('"') || path.front() == QLatin1Char('\'')) &&
        path.back() == path.front())
        path = path.mid(1, path.size() - 2);
    if (path == QLatin1String("~") || path.startsWith(QStringLiteral("~/")))
        path = home() + path.mid(1);
    return path;
}

} // namespace

std::vector<WinePrefix> winePrefixes() {
    std::vector<WinePrefix> prefixes;
    // Canonical paths: one prefix reached by several roads counts once. Looked up by hash, as
    // a pilot may keep thousands of bottles.
    QSet<QString> seen;
    const auto add = [&prefixes, &seen](const QString& path, const QString& description,
                                        const QString& label, bool named_by_pilot = false) {
        const QString canonical = QFileInfo(path).canonicalFilePath();
        const QString key = canonical.isEmpty() ? path : canonical;
        if (seen.contains(key))
            return;
        seen.insert(key);
        prefixes.push_back({path, description, label, named_by_pilot});
    };

    const QByteArray wine_prefix = qgetenv("WINEPREFIX");
    const QString wine =
        !wine_prefix.isEmpty() ? QFile::decodeName(wine_prefix) : home() + QStringLiteral("/.wine");
    add(wine, QStringLiteral("Wine prefix %1").arg(wine),
        (wine_prefix.isEmpty() ? QStringLiteral("Wine, prefix %1")
                               : QStringLiteral("Wine, prefix %1 (WINEPREFIX)"))
            .arg(wine),
        !wine_prefix.isEmpty());

    const QString flatpak = home() + QStringLiteral("/.var/app/");
    QStringList libraries;
    for (const QString& root :
         {home() + QStringLiteral("/.steam/steam"), home() + QStringLiteral("/.steam/root"),
          home() + QStringLiteral("/.local/share/Steam"),
          flatpak + QStringLiteral("com.valvesoftware.Steam/.local/share/Steam"),
          flatpak + QStringLiteral("com.valvesoftware.Steam/data/Steam")}) {
        if (!QFileInfo(root).isDir())
            continue;
        libraries << root << steamLibraries(root);
    }
    for (const QString& library : libraries) {
        const QString compat = library + QStringLiteral("/steamapps/compatdata");
        for (const QString& app : subdirectories(compat)) {
            const QString prefix = compat + QLatin1Char('/') + app + QStringLiteral("/pfx");
            if (QFileInfo(prefix).isDir())
                add(prefix, QStringLiteral("Steam Proton prefix %1").arg(prefix),
                    QStringLiteral("Steam (Proton), prefix %1").arg(app));
        }
    }

    for (const QString& games : {home() + QStringLiteral("/.config/lutris/games"),
                                 home() + QStringLiteral("/.local/share/lutris/games"),
                                 flatpak + QStringLiteral("net.lutris.Lutris/config/lutris/games"),
                                 flatpak + QStringLiteral("net.lutris.Lutris/data/lutris/games")}) {
        for (const QString& config :
             QDir(games).entryList({QStringLiteral("*.yml")}, QDir::Files, QDir::Name)) {
            const QString file = games + QLatin1Char('/') + config;
            const QString prefix = lutrisPrefix(file);
            if (!prefix.isEmpty())
                add(prefix, QStringLiteral("Lutris prefix %1 (%2)").arg(prefix, file),
                    QStringLiteral("Lutris, prefix %1").arg(prefix));
        }
    }

    for (const QString& bottles :
         {home() + QStringLiteral("/.local/share/bottles/bottles"),
          flatpak + QStringLiteral("com.usebottles.bottles/data/bottles/bottles")}) {
        for (const QString& bottle : subdirectories(bottles)) {
            const QString prefix = bottles + QLatin1Char('/') + bottle;
            add(prefix, QStringLiteral("Bottles bottle %1").arg(prefix),
                QStringLiteral("Bottles, bottle %1").arg(bottle));
        }
    }
    return prefixes;
}

std::vector<Installation> installationsIn(const std::vector<WinePrefix>& prefixes,
                                          std::vector<MissedPrefix>* missed) {
    std::vector<Installation> found;
    for (const WinePrefix& prefix : prefixes) {
        QString why;
        const std::optional<QString> directory = fromWinePrefix(prefix.path, why);
        if (!directory) {
            if (missed != nullptr)
                missed->push_back({prefix.description, why});
            continue;
        }
        Installation installation;
        installation.directory = QFile::encodeName(*directory).toStdString();
        installation.source = prefix.description;
        installation.label = prefix.label;
        installation.named_by_pilot = prefix.named_by_pilot;
        installation.newest_recording = newestRecording(*directory + QStringLiteral("/data/IGC"));
        found.push_back(std::move(installation));
    }
    return found;
}

std::size_t preferredInstallation(const std::vector<Installation>& installations) {
    for (std::size_t k = 0; k < installations.size(); ++k)
        if (installations[k].named_by_pilot)
            return k;
    std::size_t best = 0;
    for (std::size_t k = 1; k < installations.size(); ++k)
        if (installations[k].newest_recording > installations[best].newest_recording)
            best = k;
    return best;
}

} // namespace install
