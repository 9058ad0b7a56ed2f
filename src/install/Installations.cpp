#include "install/Installations.h"

#include "install/Installation.h"
#include "install/Recordings.h"
#include "platform/PosixHandles.h"

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
#include <system_error>
#include <utility>

namespace install {

namespace {

// Wine's system.reg holds a few megabytes, tens in a prefix full of programs; anything far larger
// is not a registry, and is not read.
constexpr off_t kMaxRegistrySize = 64 * 1024 * 1024;

// A text file of configuration (a registry, a Steam library list, a Lutris game), open only
// when it is a regular file of sane size: a named pipe would block the start for ever and a link
// to an endless device would fill the memory.
struct SaneFile {
    platform::Descriptor fd;
    off_t size = 0; // when it was opened
};

WineFailure fileFailure(WineFailure::Kind kind, const QString& name, int error = 0) {
    return {kind, name, {}, {}, std::error_code(error, std::generic_category())};
}

platform::Expected<SaneFile, WineFailure> openSaneFile(const QString& path) {
    const QString name = QFileInfo(path).fileName();
    platform::Descriptor fd(
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (!fd)
        return platform::unexpected(errno == ENOENT
                                        ? fileFailure(WineFailure::Kind::NoFile, name)
                                        : fileFailure(WineFailure::Kind::Unreadable, name, errno));
    struct stat info {};
    if (fstat(fd.get(), &info) != 0)
        return platform::unexpected(fileFailure(WineFailure::Kind::Unreadable, name, errno));
    if (!S_ISREG(info.st_mode))
        return platform::unexpected(fileFailure(WineFailure::Kind::NotRegularFile, name));
    if (info.st_size > kMaxRegistrySize)
        return platform::unexpected(fileFailure(WineFailure::Kind::TooLarge, name));
    return SaneFile{std::move(fd), info.st_size};
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
platform::Expected<QByteArray, WineFailure> readSaneFile(const QString& path) {
    platform::Expected<SaneFile, WineFailure> file = openSaneFile(path);
    if (!file)
        return platform::unexpected(std::move(file).error());
    QByteArray content(static_cast<qsizetype>(file->size), Qt::Uninitialized);
    qsizetype at = 0;
    while (const qsizetype got =
               readSome(file->fd.get(), content.data() + at, content.size() - at, file->size))
        at += got;
    content.truncate(at);
    return content;
}

// The installation directory that the registry of the Wine prefix `prefix` names. The registry
// is read as it goes: a prefix full of programs has one of tens of megabytes.
platform::Expected<QString, WineFailure> fromWinePrefix(const QString& prefix) {
    platform::Expected<SaneFile, WineFailure> registry =
        openSaneFile(prefix + QStringLiteral("/system.reg"));
    if (!registry)
        return platform::unexpected(std::move(registry).error());
    const QStringList keys = {
        QStringLiteral("Software\\Thermora\\Thermora Simulator"),
        QStringLiteral("Software\\Wow6432Node\\Thermora\\Thermora Simulator")};
    SaneFile& file = *registry;
    const platform::Expected<QString, WineFailure> location = registryString(
        [&file](char* into, qsizetype room) {
            return readSome(file.fd.get(), into, room, file.size);
        },
        keys, QStringLiteral("Location"));
    if (!location)
        return platform::unexpected(location.error());
    return unixPath(prefix, QString::fromStdString(unquotedLocation(location->toStdString())));
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
        const platform::Expected<QByteArray, WineFailure> text = readSaneFile(list);
        if (!text)
            continue;
        static const QRegularExpression path(QStringLiteral(R"re("path"\s+"((?:[^"\\]|\\.)*)")re"));
        for (auto match = path.globalMatch(QString::fromUtf8(*text)); match.hasNext();) {
            QString library = match.next().captured(1);
            library.replace(QStringLiteral("\\\\"), QStringLiteral("\\"));
            libraries << library;
        }
    }
    return libraries;
}

// The Wine prefix that a Lutris game configuration names ("  prefix: /home/x/Games/thermora").
QString lutrisPrefix(const QString& config) {
    const platform::Expected<QByteArray, WineFailure> text = readSaneFile(config);
    if (!text)
        return {};
    static const QRegularExpression prefix(QStringLiteral(R"re(^\s*prefix:\s*(.*?)\s*$)re"),
                                           QRegularExpression::MultilineOption);
    const QRegularExpressionMatch match = prefix.match(QString::fromUtf8(*text));
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
        const platform::Expected<QString, WineFailure> directory = fromWinePrefix(prefix.path);
        if (!directory) {
            if (missed != nullptr)
                missed->push_back(
                    {prefix.description, directory.error(), prefix.path, prefix.named_by_pilot});
            continue;
        }
        Installation installation;
        installation.directory = QFile::encodeName(*directory).toStdString();
        installation.source = prefix.description;
        installation.label = prefix.label;
        installation.named_by_pilot = prefix.named_by_pilot;
        installation.prefix = prefix.path;
        installation.newest_recording = newestRecording(installation.directory + "/data/IGC");
        found.push_back(std::move(installation));
    }
    return found;
}

std::size_t preferredInstallation(const std::vector<Installation>& installations) {
    for (std::size_t k = 0; k < installations.size(); ++k)
        if (installations[k].named_by_pilot)
            return k;
    std::vector<std::int64_t> newest;
    for (const Installation& installation : installations)
        newest.push_back(installation.newest_recording);
    return newestRecordingAmong(newest);
}

QString wineShortDate(const QString& prefix) {
    platform::Expected<SaneFile, WineFailure> registry =
        openSaneFile(prefix + QStringLiteral("/user.reg"));
    if (!registry)
        return {};
    SaneFile& file = *registry;
    const platform::Expected<QString, WineFailure> picture = registryString(
        [&file](char* into, qsizetype room) {
            return readSome(file.fd.get(), into, room, file.size);
        },
        {QStringLiteral("Control Panel\\International")}, QStringLiteral("sShortDate"));
    return picture ? *picture : QString();
}

} // namespace install
