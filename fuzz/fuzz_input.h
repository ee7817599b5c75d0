#pragma once
// What the fuzz targets share: the input as a file that any reader opens by
// its path, and the input as a command line.

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>
#include <vector>

#include "common/unique_fd.h"

// A regular file held in memory, so that each run costs no disk.
class MemoryFile {
public:
    explicit MemoryFile(std::span<const std::uint8_t> bytes) : fd_(::memfd_create("fuzz-input", MFD_CLOEXEC)) {
        if (!fd_) std::abort();
        for (std::size_t done = 0; done < bytes.size();) {
            const ssize_t n = ::write(fd_.Get(), bytes.data() + done, bytes.size() - done);
            if (n <= 0) std::abort();
            done += static_cast<std::size_t>(n);
        }
        path_ = "/proc/self/fd/" + std::to_string(fd_.Get());
    }
    const std::string& Path() const { return path_; }

private:
    UniqueFd fd_;
    std::string path_;
};

// The input cut at its zero bytes, as the program would get its arguments.
inline std::vector<std::string> Arguments(std::span<const std::uint8_t> bytes) {
    if (bytes.empty()) return {};
    std::vector<std::string> args(1);
    for (const std::uint8_t byte : bytes) {
        if (byte == 0) {
            args.emplace_back();
        } else {
            args.back().push_back(static_cast<char>(byte));
        }
    }
    return args;
}

// Stops the run as a finding when a property that must hold does not.
inline void Require(bool holds) {
    if (!holds) std::abort();
}
