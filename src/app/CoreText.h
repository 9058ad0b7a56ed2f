#pragma once

// The core's texts as the dialog shows them.

#include <QByteArray>
#include <QFile>
#include <QString>

#include <string>

/// A text of the core (UTF-8) as the dialog shows it: the paths in it are the file system's
/// bytes, decoded as the dialog decodes file names, so that a path shows as the choosers show it.
inline QString fromCore(const std::string& text) {
    return QFile::decodeName(QByteArray::fromStdString(text));
}
