#include "install/WineRegistry.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

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
    for (qsizetype at = 1; at < line.size(); ++at) {
        const QChar c = line[at];
        if (c == QLatin1Char(']'))
            return key;
        if (c == QLatin1Char('\\') && at + 1 < line.size()) {
            const QChar next = line[at + 1];
            if (next == QLatin1Char('x')) {
                qsizetype end = at + 2;
                char16_t unit = 0;
                for (int digits = 0; digits < 4 && end < line.size() && hexDigit(line[end]) >= 0;
                     ++digits)
                    unit = static_cast<char16_t>(unit * 16 + hexDigit(line[end++]));
                key += QChar(unit);
                at = end - 1;
                continue;
            }
            key += next;
            ++at;
            continue;
        }
        key += c;
    }
    return std::nullopt;
}

// Lines of the file with continued lines joined: a line that ends in an odd number of
// backslashes goes on, after its leading blanks, on the next line.
QStringList logicalLines(const QByteArray& registry) {
    const QString text = QString::fromUtf8(registry);
    QStringList lines;
    QString pending;
    bool continued = false;
    for (QString line : text.split(QLatin1Char('\n'))) {
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        if (continued)
            line = line.trimmed();
        qsizetype backslashes = 0;
        while (backslashes < line.size() &&
               line[line.size() - 1 - backslashes] == QLatin1Char('\\'))
            ++backslashes;
        continued = backslashes % 2 == 1;
        if (continued)
            line.chop(1);
        pending += line;
        if (!continued) {
            lines.append(pending);
            pending.clear();
        }
    }
    if (!pending.isEmpty())
        lines.append(pending);
    return lines;
}

} // namespace

std::optional<QString> registryString(const QByteArray& registry, const QStringList& keys,
                                      const QString& value, QString& why) {
    if (!registry.startsWith("WINE REGISTRY Version 2")) {
        why = QStringLiteral("not a Wine registry file");
        return std::nullopt;
    }
    const QStringList lines = logicalLines(registry);
    why = QStringLiteral("no key %1").arg(keys.join(QStringLiteral(" or ")));
    for (const QString& wanted : keys) {
        bool in_key = false;
        bool key_seen = false;
        for (const QString& line : lines) {
            if (const std::optional<QString> key = sectionKey(line)) {
                in_key = key->compare(wanted, Qt::CaseInsensitive) == 0;
                key_seen = key_seen || in_key;
                continue;
            }
            if (!in_key || !line.startsWith(QLatin1Char('"')))
                continue;
            qsizetype at = 1;
            const std::optional<QString> name = quoted(line, at);
            if (!name || name->compare(value, Qt::CaseInsensitive) != 0)
                continue;
            // "Name"="text" or, for REG_EXPAND_SZ, "Name"=str(2):"text".
            qsizetype from = at;
            if (line.mid(from, 1) != QLatin1String("="))
                continue;
            ++from;
            if (line.mid(from, 7) == QLatin1String("str(2):"))
                from += 7;
            if (line.mid(from, 1) == QLatin1String("\"")) {
                ++from;
                if (std::optional<QString> text = quoted(line, from))
                    return text;
            }
            why = QStringLiteral("the value \"%1\" under %2 is not a string").arg(value, wanted);
            key_seen = false; // reported already
            break;
        }
        if (key_seen)
            why = QStringLiteral("no value \"%1\" under %2").arg(value, wanted);
    }
    return std::nullopt;
}

std::optional<QString> unixPath(const QString& prefix, const QString& windows_path, QString& why) {
    if (windows_path.size() < 2 || windows_path[1] != QLatin1Char(':') ||
        !windows_path[0].isLetter()) {
        why = QStringLiteral("\"%1\" has no drive letter").arg(windows_path);
        return std::nullopt;
    }
    const QString dosdevices = prefix + QStringLiteral("/dosdevices");
    const QString drive =
        dosdevices + QLatin1Char('/') + windows_path[0].toLower() + QLatin1Char(':');
    const QFileInfo link(drive);
    if (!link.exists()) {
        why = QStringLiteral("no drive %1 in %2").arg(windows_path.left(2), dosdevices);
        return std::nullopt;
    }
    QString path = link.isSymLink() ? QDir(dosdevices).absoluteFilePath(link.symLinkTarget())
                                    : link.absoluteFilePath();
    path = QDir::cleanPath(path);

    const QStringList components = windows_path.mid(2).split(
        QRegularExpression(QStringLiteral("[\\\\/]")), Qt::SkipEmptyParts);
    for (const QString& component : components) {
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
        if (found.isEmpty()) {
            why = QStringLiteral("%1 has no %2").arg(path, component);
            return std::nullopt;
        }
        path = dir.filePath(found);
    }
    return path;
}

} // namespace install
