#include "DialogLog.h"

#include <cstdio>
#include <cstdlib>

namespace dialog_log {

namespace {

// One field on one line: line breaks and tabs shown as escapes, so that the columns hold.
std::string escaped(const std::string& text) {
    std::string out;
    for (const char c : text) {
        if (c == '\n')
            out += "\\n";
        else if (c == '\t')
            out += "\\t";
        else if (c == '\\')
            out += "\\\\";
        else
            out += c;
    }
    return out;
}

void append(const std::string& line) {
    const wchar_t* path = _wgetenv(L"THERMORA_DIALOG_LOG");
    if (path == nullptr || *path == L'\0')
        return;
    // Opened per line: a test may read the log while the program still runs.
    if (std::FILE* file = _wfopen(path, L"ab")) {
        std::fwrite(line.data(), 1, line.size(), file);
        std::fclose(file);
    }
}

const char* failureName(logbook::FailureKind failure) {
    using logbook::FailureKind;
    switch (failure) {
    case FailureKind::None:
        return "None";
    case FailureKind::Directory:
        return "Directory";
    case FailureKind::NotALogbook:
        return "NotALogbook";
    case FailureKind::Busy:
        return "Busy";
    case FailureKind::Open:
        return "Open";
    case FailureKind::Write:
        return "Write";
    case FailureKind::Backup:
        return "Backup";
    case FailureKind::Cancelled:
        return "Cancelled";
    case FailureKind::Unreadable:
        return "Unreadable";
    case FailureKind::EmptyRefused:
        return "EmptyRefused";
    case FailureKind::NoGeneration:
        return "NoGeneration";
    case FailureKind::GenerationChanged:
        return "GenerationChanged";
    }
    return "?";
}

} // namespace

void box(const std::string& title, const std::string& text) {
    append("box\t" + escaped(title) + "\t" + escaped(text) + "\n");
}

void result(const logbook::GenerationResult& result) {
    append(std::string("result\t") + failureName(result.failure.kind) + "\t" +
           std::to_string(result.entries) + "\n");
}

void line(const std::string& text) {
    append("line\t" + escaped(text) + "\n");
}

} // namespace dialog_log
