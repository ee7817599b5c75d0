#include "common/regular_file.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>

UniqueFd OpenRegularFile(const std::string& path, std::int64_t maxBytes, std::string& error) {
    // O_NONBLOCK so that opening a FIFO with no writer returns at once.
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (!fd) {
        error = std::strerror(errno);
        return {};
    }
    struct stat info {};
    if (::fstat(fd.Get(), &info) != 0) {
        error = std::strerror(errno);
        return {};
    }
    if (S_ISDIR(info.st_mode)) {
        error = std::strerror(EISDIR);
        return {};
    }
    if (!S_ISREG(info.st_mode)) {
        error = "not a regular file";
        return {};
    }
    if (info.st_size > maxBytes) {
        error = "larger than " + std::to_string(maxBytes) + " bytes";
        return {};
    }
    const int flags = ::fcntl(fd.Get(), F_GETFL);
    if (flags < 0 || ::fcntl(fd.Get(), F_SETFL, flags & ~O_NONBLOCK) != 0) {
        error = std::strerror(errno);
        return {};
    }
    return fd;
}
