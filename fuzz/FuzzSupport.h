#pragma once

// What every fuzz target needs around the code it drives: diagnostics silenced (the libraries
// report every bad record on std::cerr, which would bury libFuzzer's own output and slow each
// run down), and a file holding the input for the code that reads only from a path.

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <streambuf>
#include <string>
#include <system_error>

#include <unistd.h>

namespace thermora_fuzz {

/// Swallows everything written to it; a stream on it stays good.
class NullBuffer : public std::streambuf {
protected:
    int_type overflow(int_type c) override { return traits_type::not_eof(c); }
    std::streamsize xsputn(const char*, std::streamsize count) override { return count; }
};

/// Points std::cout and std::cerr at a null buffer for the rest of the process. libFuzzer and
/// the sanitizers write through the C library, not these streams, so their reports still show.
inline void silenceStandardStreams() {
    static NullBuffer null;
    std::cout.rdbuf(&null);
    std::cerr.rdbuf(&null);
}

/// A file of this process in the temporary directory, removed at exit. The process id keeps
/// parallel fuzzing jobs (-jobs, -fork) apart.
class ScratchFile {
public:
    explicit ScratchFile(const std::string& name)
        : path_(std::filesystem::temp_directory_path() /
                ("thermora-fuzz-" + std::to_string(::getpid()) + "-" + name)) {}
    ~ScratchFile() {
        std::error_code ignored;
        std::filesystem::remove(path_, ignored);
    }
    ScratchFile(const ScratchFile&) = delete;
    ScratchFile& operator=(const ScratchFile&) = delete;

    /// Replaces the file's content with `size` bytes from `data`.
    void write(const std::uint8_t* data, std::size_t size) const {
        std::ofstream out(path_, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }

    [[nodiscard]] std::string path() const { return path_.string(); }

private:
    std::filesystem::path path_;
};

} // namespace thermora_fuzz
