#pragma once
// Files named by a user are read only when they are regular files of a size
// the reader can hold: a FIFO would block the reader for ever, /dev/zero
// would grow it without end.

#include <cstdint>
#include <limits>
#include <string>

#include "common/unique_fd.h"

inline constexpr std::int64_t kUnboundedFileSize = std::numeric_limits<std::int64_t>::max();

// Opens path for reading, in blocking mode, when it is a regular file of at
// most maxBytes. Never blocks on a FIFO or a device while checking. On
// failure the result is closed and error says why, in a few English words
// ("No such file or directory", "Is a directory", "not a regular file", "larger than 1048576 bytes").
UniqueFd OpenRegularFile(const std::string& path, std::int64_t maxBytes, std::string& error);
