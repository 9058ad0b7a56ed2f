#include "install/WineRegistry.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStringDecoder>

#include <algorithm>
#include <cstring>
#include <optional>
#include <utility>
#include <vector>

namespace install {

namespace {

int hexDigit(QChar c) {
    const char16_t u = c.unicode();
    if (u >= '0' && u <= '9')
        return u - '0';
    if (u >= 'a' && u <= 'f')
        return u - 'a' + 10;
    if (u >= 'A' && u <= 'F')
        return u - 'A' + 10;
    return -1;
}

// `text` with its control characters as \xNN, for a reason that quotes it.
QString shown(const QString& text) {
    QString result;
    for (const QChar c : text) {
        if (c.unicode() >= 0x20 && c.unicode() != 0x7F)
            result += c;
        else
            result +=
                QStringLiteral("\\x") +
                QString::number(c.unicode(), 16).rightJustified(2, QLatin1Char('0')).toUpper();
    }
    return result;
}

// Decodes a quoted registry string starting after its opening quote at `at`; `at` ends after
// the closing quote. Empty optional when the string does not close on the line.
std::optional<QString> quoted(const QString& line, qsizetype& at) {
    QString text;
    while (at < line.size()) {
        const QChar c = line[at++];
        if (c == QLatin1Char('"'))
            return text;
        if (c != QLatin1Char('\\') || at >= line.size()) {
            text += c;
            continue;
        }
        const QChar escaped = line[at++];
        switch (escaped.unicode()) {
        case 'n':
            text += QLatin1Char('\n');
            break;
        case 'r':
            text += QLatin1Char('\r');
            break;
        case 't':
            text += QLatin1Char('\t');
            break;
        case '0':
            text += QChar(u'\0');
            break;
        case 'x': {
            // A UTF-16 code unit in up to four hex digits.
            char16_t unit = 0;
            int digits = 0;
            for (; digits < 4 && at < line.size() && hexDigit(line[at]) >= 0; ++digits)
                unit = static_cast<char16_t>(unit * 16 + hexDigit(line[at++]));
            text += digits > 0 ? QChar(unit) : QLatin1Char('x');
            break;
        }
        default: // \\ and \" and anything else stand for the character itself
            text += escaped;
            break;
        }
    }
    return std::nullopt;
}

// The key path of a section line "[Software\\Thermora\\Thermora Simulator] 1700000000".
std::optional<QString> sectionKey(const QString& line) {
    if (!line.startsWith(QLatin1Char('[')))
        return std::nullopt;
    QString key;
    qsizetype plain = 1; // where the characters not yet taken, none of them escaped, begin
    for (qsizetype at = 1; at < line.size(); ++at) {
        const QChar c = line[at];
        if (c == QLatin1Char(']')) {
            key += QStringView(line).sliced(plain, at - plain);
            return key;
        }
        if (c != QLatin1Char('\\') || at + 1 == line.size())
            continue;
        key += QStringView(line).sliced(plain, at - plain);
        const QChar next = line[++at];
        if (next == QLatin1Char('x')) {
            char16_t unit = 0;
            for (int digits = 0; digits < 4 && at + 1 < line.size() && hexDigit(line[at + 1]) >= 0;
                 ++digits)
                unit = static_cast<char16_t>(unit * 16 + hexDigit(line[++at]));
            key += QChar(unit);
        } else {
            key += next;
        }
        plain = at + 1;
    }
    return std::nullopt;
}

// The physical lines of a registry's text, each with its '\n' (the last one without), read a
// chunk at a time: what is held is one line and one chunk, whatever the size of the file.
class PhysicalLines {
public:
    explicit PhysicalLines(const RegistryBytes& read) : read_(read), chunk_(64 * 1024) {}

    // The next line into `line`; false after the last. Text that ends in a line end has an
    // empty last line, as a split at each '\n' gives.
    bool next(QByteArray& line) {
        line.resize(0); // the room kept for the next line
        for (;;) {
            if (at_ < end_) {
                const char* from = chunk_.data() + at_;
                const auto* newline = static_cast<const char*>(
                    std::memchr(from, '\n', static_cast<std::size_t>(end_ - at_)));
                const qsizetype stop = newline != nullptr ? newline - chunk_.data() + 1 : end_;
                line.append(from, stop - at_);
                at_ = stop;
                if (newline != nullptr)
                    return true;
            }
            if (ended_) {
                const bool last = !last_given_;
                last_given_ = true;
                return last;
            }
            const qsizetype got = read_(chunk_.data(), static_cast<qsizetype>(chunk_.size()));
            ended_ = got <= 0;
            at_ = 0;
            end_ = ended_ ? 0 : got;
        }
    }

private:
    const RegistryBytes& read_;
    std::vector<char> chunk_;
    qsizetype at_ = 0;
    qsizetype end_ = 0;
    bool ended_ = false;
    bool last_given_ = false;
};

bool isAsciiSpace(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

// Lines of the file with continued lines joined: a line that ends in an odd number of
// backslashes goes on, after its leading blanks, on the next line. The text of a line is decoded
// only where it is wanted: a large registry is mostly lines of other keys, of which only the ends
// matter.
class LogicalLines {
public:
    // `first` is the physical line that `physical` gave already.
    LogicalLines(PhysicalLines& physical, QByteArray first)
        : physical_(physical), bytes_(std::move(first)), have_bytes_(true) {}

    // The next line into `line`, false after the last. Its text is there when it is a section
    // line ('[') or, with `values_wanted`, a value line ('"'); any other line comes back empty.
    bool next(QString& line, bool values_wanted) {
        line.resize(0);
        bool started = false;
        bool decided = false; // whether the line's first character is known
        bool wanted = false;
        bool continued = false;
        const auto decide = [&](QChar first) {
            decided = true;
            wanted = first == QLatin1Char('[') || (values_wanted && first == QLatin1Char('"'));
        };
        while (take()) {
            started = true;
            qsizetype size = bytes_.size();
            if (size > 0 && bytes_[size - 1] == '\n')
                --size;
            if (size > 0 && bytes_[size - 1] == '\r')
                --size;
            // A line's first byte is its first character, unless the line is a lone backslash
            // (the text starts on the next line, after its blanks).
            if (!decided && !continued && size > 0 && !(size == 1 && bytes_[0] == '\\'))
                decide(QLatin1Char(bytes_[0]));
            // The blanks a continued line loses may be any of Unicode's: only its text tells
            // where such a line ends.
            const bool plain_end =
                size == 0 || (!isAsciiSpace(bytes_[size - 1]) &&
                              static_cast<unsigned char>(bytes_[size - 1]) < 0x80);
            if (decided && !wanted && (!continued || plain_end)) {
                qsizetype backslashes = 0;
                while (backslashes < size && bytes_[size - 1 - backslashes] == '\\')
                    ++backslashes;
                continued = backslashes % 2 == 1;
            } else {
                // Decoded with its line end, as a part of the whole text would be.
                QString part = decoder_(bytes_);
                if (part.endsWith(QLatin1Char('\n')))
                    part.chop(1);
                if (part.endsWith(QLatin1Char('\r')))
                    part.chop(1);
                if (continued)
                    part = part.trimmed();
                qsizetype backslashes = 0;
                while (backslashes < part.size() &&
                       part[part.size() - 1 - backslashes] == QLatin1Char('\\'))
                    ++backslashes;
                continued = backslashes % 2 == 1;
                if (continued)
                    part.chop(1);
                if (!decided || wanted)
                    line += part;
                if (!decided && !line.isEmpty()) {
                    decide(line[0]);
                    if (!wanted)
                        line.resize(0);
                }
            }
            if (!continued)
                return true;
        }
        return started;
    }

private:
    bool take() {
        if (have_bytes_) {
            have_bytes_ = false;
            return true;
        }
        return physical_.next(bytes_);
    }

    PhysicalLines& physical_;
    QByteArray bytes_;
    bool have_bytes_;
    // A byte order mark in the middle of the text is a character like any other.
    QStringDecoder decoder_{QStringConverter::Utf8, QStringConverter::Flag::ConvertInitialBom |
                                                        QStringConverter::Flag::Stateless};
};

// What a key of the search holds, as far as the registry has been read.
struct KeyFinding {
    enum class State {
        Unseen,    // no section of the key yet
        Seen,      // a section of the key, without the value so far
        NotString, // the value, not a string: the key is done with
        Found,     // the value's text
    };
    QString key;
    bool in_section = false;
    State state = State::Unseen;
    QString text;
};

// Whether the answer is known: the first key that has the string, after keys whose value is not
// one. A key seen without the value may yet get it in a later section of the same key.
bool settled(const std::vector<KeyFinding>& findings) {
    for (const KeyFinding& finding : findings) {
        if (finding.state == KeyFinding::State::Found)
            return true;
        if (finding.state != KeyFinding::State::NotString)
            return false;
    }
    return true;
}

// What a value line ("Name"=...) holds of the value named `value`.
enum class ValueLine {
    Other,     // another value's, or no value's: passed over
    NotString, // the value, but not a string (a number, binary data, an unclosed quote)
    String,    // the value's string, into `text`
};

ValueLine valueLine(const QString& line, const QString& value, QString& text) {
    qsizetype at = 1;
    const std::optional<QString> name = quoted(line, at);
    if (!name || name->compare(value, Qt::CaseInsensitive) != 0)
        return ValueLine::Other;
    // "Name"="text" or, for REG_EXPAND_SZ, "Name"=str(2):"text".
    qsizetype from = at;
    if (line.mid(from, 1) != QLatin1String("="))
        return ValueLine::Other;
    ++from;
    if (line.mid(from, 7) == QLatin1String("str(2):"))
        from += 7;
    if (line.mid(from, 1) == QLatin1String("\"")) {
        ++from;
        if (std::optional<QString> string = quoted(line, from)) {
            text = std::move(*string);
            return ValueLine::String;
        }
    }
    return ValueLine::NotString;
}

} // namespace

QString wineReason(const WineFailure& failure) {
    using Kind = WineFailure::Kind;
    switch (failure.kind) {
    case Kind::NoFile:
        return QStringLiteral("no %1").arg(failure.subject);
    case Kind::Unreadable:
        return QStringLiteral("%1: %2").arg(failure.subject,
                                            QString::fromLocal8Bit(failure.error.message()));
    case Kind::NotRegularFile:
        return QStringLiteral("%1 is not a regular file").arg(failure.subject);
    case Kind::TooLarge:
        return QStringLiteral("%1 is larger than 64 MiB").arg(failure.subject);
    case Kind::NotRegistry:
        return QStringLiteral("not a Wine registry file");
    case Kind::NoKey:
        return QStringLiteral("no key %1").arg(failure.keys.join(QStringLiteral(" or ")));
    case Kind::NoValue:
        return QStringLiteral("no value \"%1\" under %2").arg(failure.subject, failure.place);
    case Kind::NotString:
        return QStringLiteral("the value \"%1\" under %2 is not a string")
            .arg(failure.subject, failure.place);
    case Kind::ControlCharacter:
        return QStringLiteral("\"%1\" holds a control character, which no Windows path can")
            .arg(shown(failure.subject));
    case Kind::NoDriveLetter:
        return QStringLiteral("\"%1\" has no drive letter").arg(failure.subject);
    case Kind::AboveRoot:
        return QStringLiteral("\"%1\" leads above the root of drive %2")
            .arg(failure.subject, failure.place);
    case Kind::NoDrive:
        return QStringLiteral("no drive %1 in %2").arg(failure.subject, failure.place);
    case Kind::NoEntry:
        return QStringLiteral("%1 has no %2").arg(failure.place, failure.subject);
    }
    return {};
}

platform::Expected<QString, WineFailure>
registryString(const RegistryBytes& read, const QStringList& keys, const QString& value) {
    PhysicalLines physical(read);
    QByteArray first;
    if (!physical.next(first) || !first.startsWith("WINE REGISTRY Version 2"))
        return platform::unexpected(WineFailure{WineFailure::Kind::NotRegistry, {}, {}, {}, {}});
    std::vector<KeyFinding> findings;
    for (const QString& key : keys)
        findings.push_back({key, false, KeyFinding::State::Unseen, {}});
    // Value lines are read only in the section of a key still without its value.
    const auto undecided_in_section = [&findings] {
        return std::any_of(findings.begin(), findings.end(), [](const KeyFinding& finding) {
            return finding.in_section && finding.state == KeyFinding::State::Seen;
        });
    };
    LogicalLines lines(physical, std::move(first));
    QString line;
    while (!settled(findings) && lines.next(line, undecided_in_section())) {
        if (const std::optional<QString> key = sectionKey(line)) {
            for (KeyFinding& finding : findings) {
                finding.in_section = key->compare(finding.key, Qt::CaseInsensitive) == 0;
                if (finding.in_section && finding.state == KeyFinding::State::Unseen)
                    finding.state = KeyFinding::State::Seen;
            }
            continue;
        }
        if (!line.startsWith(QLatin1Char('"')))
            continue;
        QString text;
        const ValueLine found = valueLine(line, value, text);
        if (found == ValueLine::Other)
            continue;
        for (KeyFinding& finding : findings) {
            if (finding.in_section && finding.state == KeyFinding::State::Seen) {
                finding.state = found == ValueLine::String ? KeyFinding::State::Found
                                                           : KeyFinding::State::NotString;
                finding.text = text;
            }
        }
    }
    // The string of the first key that has one; else why the last key seen has none.
    WineFailure failure{WineFailure::Kind::NoKey, {}, {}, keys, {}};
    for (const KeyFinding& finding : findings) {
        switch (finding.state) {
        case KeyFinding::State::Found:
            return finding.text;
        case KeyFinding::State::NotString:
            failure = {WineFailure::Kind::NotString, value, finding.key, {}, {}};
            break;
        case KeyFinding::State::Seen:
            failure = {WineFailure::Kind::NoValue, value, finding.key, {}, {}};
            break;
        case KeyFinding::State::Unseen:
            break;
        }
    }
    return platform::unexpected(std::move(failure));
}

platform::Expected<QString, WineFailure>
registryString(const QByteArray& registry, const QStringList& keys, const QString& value) {
    qsizetype at = 0;
    return registryString(
        [&registry, &at](char* into, qsizetype room) {
            const qsizetype given = std::min(room, registry.size() - at);
            std::memcpy(into, registry.constData() + at, static_cast<std::size_t>(given));
            at += given;
            return given;
        },
        keys, value);
}

platform::Expected<QString, WineFailure> unixPath(const QString& prefix,
                                                  const QString& windows_path, PathTail tail) {
    const auto failed = [&windows_path](WineFailure::Kind kind, QString place = {}) {
        return platform::unexpected(WineFailure{kind, windows_path, std::move(place), {}, {}});
    };
    if (std::any_of(windows_path.begin(), windows_path.end(),
                    [](QChar c) { return c.unicode() < 0x20; }))
        return failed(WineFailure::Kind::ControlCharacter);
    if (windows_path.size() < 2 || windows_path[1] != QLatin1Char(':') ||
        !windows_path[0].isLetter())
        return failed(WineFailure::Kind::NoDriveLetter);
    // "." and ".." by the text, as Windows takes them, before anything of this system is looked
    // at: a link that a component names must not change where ".." leads. Above the drive's
    // root there is nothing of the drive.
    QStringList components;
    for (const QString& component : windows_path.mid(2).split(
             QRegularExpression(QStringLiteral("[\\\\/]")), Qt::SkipEmptyParts)) {
        if (component == QLatin1String("."))
            continue;
        if (component != QLatin1String("..")) {
            components << component;
            continue;
        }
        if (components.isEmpty())
            return failed(WineFailure::Kind::AboveRoot, windows_path.left(2));
        components.removeLast();
    }
    const QString dosdevices = prefix + QStringLiteral("/dosdevices");
    const QString drive =
        dosdevices + QLatin1Char('/') + windows_path[0].toLower() + QLatin1Char(':');
    const QFileInfo link(drive);
    if (!link.exists())
        return platform::unexpected(
            WineFailure{WineFailure::Kind::NoDrive, windows_path.left(2), dosdevices, {}, {}});
    QString path = link.isSymLink() ? QDir(dosdevices).absoluteFilePath(link.symLinkTarget())
                                    : link.absoluteFilePath();
    path = QDir::cleanPath(path);

    for (qsizetype at = 0; at < components.size(); ++at) {
        const QString& component = components[at];
        const QDir dir(path);
        QString found;
        if (dir.exists(component)) {
            found = component;
        } else {
            const QStringList entries = dir.entryList(QDir::AllEntries | QDir::Hidden |
                                                      QDir::System | QDir::NoDotAndDotDot);
            for (const QString& entry : entries) {
                if (entry.compare(component, Qt::CaseInsensitive) == 0) {
                    found = entry;
                    break;
                }
            }
        }
        if (found.isEmpty() && tail == PathTail::MayNotExistYet)
            return (path.endsWith(QLatin1Char('/')) ? path : path + QLatin1Char('/')) +
                   components.sliced(at).join(QLatin1Char('/'));
        if (found.isEmpty())
            return platform::unexpected(
                WineFailure{WineFailure::Kind::NoEntry, component, path, {}, {}});
        path = dir.filePath(found);
    }
    return path;
}

} // namespace install
