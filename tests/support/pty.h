#pragma once
// A pseudo-terminal whose slave side plays a USB serial port: tests write
// the amplifier's bytes to the master, or leave it silent.

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <span>
#include <string>

#include "common/unique_fd.h"

struct Pty {
    Pty() : master(posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC)) {
        grantpt(master.Get());
        unlockpt(master.Get());
        std::array<char, 128> name{};
        if (ptsname_r(master.Get(), name.data(), name.size()) == 0) slavePath = name.data();
    }
    void Send(std::span<const std::uint8_t> bytes) const {
        ASSERT_EQ(::write(master.Get(), bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }
    UniqueFd master;
    std::string slavePath;
};
