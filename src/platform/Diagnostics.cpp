#include "platform/Diagnostics.h"

#include "platform/Console.h"

#include <atomic>
#include <iostream>

namespace platform {

namespace {
std::atomic<std::ostream*> errors_sink{nullptr};
std::atomic<std::ostream*> output_sink{nullptr};
} // namespace

std::ostream& diagnostics() {
    std::ostream* errors = errors_sink.load(std::memory_order_acquire);
    return errors != nullptr ? *errors : std::cerr;
}

std::ostream& diagnosticOutput() {
    std::ostream* output = output_sink.load(std::memory_order_acquire);
    return output != nullptr ? *output : std::cout;
}

void pointDiagnostics(std::ostream* errors, std::ostream* output) {
    errors_sink.store(errors, std::memory_order_release);
    output_sink.store(output, std::memory_order_release);
}

std::string terminalText(std::string_view text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string shown;
    shown.reserve(text.size());
    const auto escape = [&shown](unsigned char byte) {
        shown += "\\x";
        shown += kHex[byte >> 4];
        shown += kHex[byte & 0xF];
    };
    for (std::size_t at = 0; at < text.size(); ++at) {
        const auto byte = static_cast<unsigned char>(text[at]);
        if (byte == 0xC2 && at + 1 < text.size() &&
            static_cast<unsigned char>(text[at + 1]) >= 0x80 &&
            static_cast<unsigned char>(text[at + 1]) <= 0x9F) {
            escape(byte);
            escape(static_cast<unsigned char>(text[++at]));
        } else if ((byte < 0x20 && byte != '\n' && byte != '\t') || byte == 0x7F) {
            escape(byte);
        } else {
            shown += text[at];
        }
    }
    return shown;
}

EscapingBuffer::int_type EscapingBuffer::overflow(int_type c) {
    if (traits_type::eq_int_type(c, traits_type::eof()))
        return traits_type::not_eof(c);
    const char byte = traits_type::to_char_type(c);
    return xsputn(&byte, 1) == 1 ? c : traits_type::eof();
}

std::streamsize EscapingBuffer::xsputn(const char* text, std::streamsize count) {
    const std::string shown = terminalText(std::string_view(text, static_cast<std::size_t>(count)));
    const auto size = static_cast<std::streamsize>(shown.size());
    return terminal_->sputn(shown.data(), size) == size ? count : 0;
}

int EscapingBuffer::sync() {
    return terminal_->pubsync();
}

TerminalStreams::TerminalStreams()
    : escaped_output_(std::cout.rdbuf()), escaped_errors_(std::cerr.rdbuf()),
      errors_as_written_(std::cerr.rdbuf()) {
    if (isTerminal(Stream::Output))
        output_ = std::cout.rdbuf(&escaped_output_);
    if (isTerminal(Stream::Errors))
        errors_ = std::cerr.rdbuf(&escaped_errors_);
}

TerminalStreams::~TerminalStreams() {
    if (output_ != nullptr)
        std::cout.rdbuf(output_);
    if (errors_ != nullptr)
        std::cerr.rdbuf(errors_);
}

} // namespace platform
