// The Wine registry reader on any bytes as system.reg, with the keys and value that the
// installation lookup asks for; a string it finds then goes through the drive-link resolution
// in a small prefix of its own, as the lookup would do with it.

#include "FuzzSupport.h"
#include "install/WineRegistry.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <system_error>

namespace {

namespace fs = std::filesystem;

// dosdevices/c: -> ../drive_c, and drive_c/Program Files/Thermora; removed at exit.
class WinePrefix {
public:
    WinePrefix()
        : root_(fs::temp_directory_path() /
                ("thermora-fuzz-" + std::to_string(::getpid()) + "-prefix")) {
        fs::create_directories(root_ / "dosdevices");
        fs::create_directories(root_ / "drive_c" / "Program Files" / "Thermora");
        std::error_code ignored;
        fs::create_directory_symlink("../drive_c", root_ / "dosdevices" / "c:", ignored);
    }
    ~WinePrefix() {
        std::error_code ignored;
        fs::remove_all(root_, ignored);
    }
    WinePrefix(const WinePrefix&) = delete;
    WinePrefix& operator=(const WinePrefix&) = delete;

    [[nodiscard]] QString path() const { return QFile::decodeName(root_.c_str()); }

private:
    fs::path root_;
};

void ignoreQtMessages(QtMsgType, const QMessageLogContext&, const QString&) {}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    thermora_fuzz::silenceStandardStreams();
    qInstallMessageHandler(ignoreQtMessages);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const WinePrefix prefix;
    static const QStringList keys = {
        QStringLiteral("Software\\Thermora\\Thermora Simulator"),
        QStringLiteral("Software\\Wow6432Node\\Thermora\\Thermora Simulator")};
    const QByteArray registry(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const auto location = install::registryString(registry, keys, QStringLiteral("Location"));
    if (location)
        static_cast<void>(install::unixPath(prefix.path(), *location));
    else
        static_cast<void>(install::wineReason(location.error()));
    return 0;
}
