#pragma once

// Where the program's diagnostic lines go, the one place that names the standard streams: the
// sink that the IGC reader's, the analysis' and the run's lines are written to (standard error and
// standard output unless a program points it elsewhere), and text from outside (file names, a
// registry's directory, the files' diagnostics) on a terminal: shown as text, never obeyed as a
// command. Written to a file or a pipe, every byte stays.

#include <ostream>
#include <streambuf>
#include <string>
#include <string_view>

namespace platform {

/// Where diagnostic lines go: standard error unless `pointDiagnostics` said otherwise.
std::ostream& diagnostics();
/// Where the lines meant for standard output go ("Empty log file"): standard output unless told.
std::ostream& diagnosticOutput();
/// Points the sink at `errors` and `output` (null: back at the standard streams). Set while no
/// run is under way: the streams must outlive every run that writes to them.
void pointDiagnostics(std::ostream* errors, std::ostream* output);

/// `text` as a terminal is to show it: every control byte but the line end and the tab as \xNN
/// (ESC, BEL, CR, backspace, DEL: they would move the cursor, retitle the window, ring or
/// overwrite what a line said), and so are both bytes of a C1 control in UTF-8 (U+0080 to
/// U+009F; U+009B starts a sequence as ESC [ does on terminals that obey them).
std::string terminalText(std::string_view text);

/// A stream buffer in front of a terminal's, through which everything written reaches it as
/// terminalText shows it. It holds nothing back: what is written through it and what is written
/// to the terminal's own buffer arrive in the order written. A C1 control split between two
/// writes is not seen; the program writes each text whole.
class EscapingBuffer : public std::streambuf {
public:
    explicit EscapingBuffer(std::streambuf* terminal) : terminal_(terminal) {}

protected:
    int_type overflow(int_type c) override;
    std::streamsize xsputn(const char* text, std::streamsize count) override;
    int sync() override;

private:
    std::streambuf* terminal_;
};

/// While it lives, standard output and standard error, each where it is a terminal, show what
/// is written to them through an EscapingBuffer: a file name or a registry's directory may hold
/// any byte, and on a terminal it is text, never a command. Written to a file or a pipe, every
/// byte stays as written: there the diagnostics are data, compared byte for byte.
class TerminalStreams {
public:
    TerminalStreams();
    ~TerminalStreams();
    TerminalStreams(const TerminalStreams&) = delete;
    TerminalStreams& operator=(const TerminalStreams&) = delete;

    /// Standard error past the escaping, for the count's own "\r" and "\033[K".
    std::ostream& errorsAsWritten() { return errors_as_written_; }

private:
    std::streambuf* output_ = nullptr; // standard output's own buffer, where replaced
    std::streambuf* errors_ = nullptr; // standard error's own buffer, where replaced
    EscapingBuffer escaped_output_;
    EscapingBuffer escaped_errors_;
    std::ostream errors_as_written_;
};

} // namespace platform
