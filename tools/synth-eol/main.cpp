// synth-eol: writes an EOL file of synthetic EEG, for playback without an
// amplifier or a recording: CHANNELS values per sample (the last one the
// event channel) at RATE samples per second, its header naming PACKET samples
// per packet. Every signal channel carries background rhythms of about 6
// display units, small enough for 64 rows on a screen, and 25 units of 50 Hz
// hum; the event channel a code every two seconds.
//
//   synth-eol CHANNELS RATE PACKET SECONDS OUT.EOL
//   vostrel --play OUT.EOL --start

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "acquisition/recording/eol_file.h"

namespace {
constexpr double kScale = eol::kDefaultScale;
constexpr double kPi = 3.14159265358979323846;

int Usage() {
    std::cerr << "usage: synth-eol CHANNELS RATE PACKET SECONDS OUT.EOL\n";
    return 2;
}

bool ParsePositive(const char* text, int& value) {
    char* end = nullptr;
    const long v = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || v <= 0 || v > 1000000) return false;
    value = static_cast<int>(v);
    return true;
}
}  // namespace

int main(int argc, char** argv) {
    int channels = 0, rate = 0, packet = 0, seconds = 0;
    if (argc != 6 || !ParsePositive(argv[1], channels) || !ParsePositive(argv[2], rate) ||
        !ParsePositive(argv[3], packet) || !ParsePositive(argv[4], seconds) || channels < 2) {
        return Usage();
    }
    std::ofstream out(argv[5], std::ios::binary);
    std::vector<char> header(eol::kHeaderRegionSize, 0);
    const std::array<double, 4> block{static_cast<double>(channels), static_cast<double>(rate),
                                      static_cast<double>(packet), kScale};
    std::copy_n(reinterpret_cast<const char*>(block.data()), sizeof block, header.begin() + eol::kHeaderBlockOffset);
    out.write(header.data(), static_cast<std::streamsize>(header.size()));

    std::vector<std::int32_t> sample(static_cast<std::size_t>(channels));
    const long samples = static_cast<long>(rate) * seconds;
    for (long t = 0; t < samples; ++t) {
        const double s = static_cast<double>(t) / rate;
        for (int c = 0; c < channels - 1; ++c) {
            const double eeg = 3.5 * std::sin(2 * kPi * (9.5 + c % 4 * 0.5) * s + c) +
                               2 * std::sin(2 * kPi * 3.1 * s + 2 * c) + std::sin(2 * kPi * 21.7 * s + 0.7 * c);
            const double hum = 25 * std::sin(2 * kPi * 50 * s + 0.3 * c);
            sample[static_cast<std::size_t>(c)] = static_cast<std::int32_t>(std::lround((eeg + hum) / kScale));
        }
        sample.back() = t % (2L * rate) == rate / 2 ? static_cast<std::int32_t>(1 + t / (2L * rate) % 6) : 0;
        out.write(reinterpret_cast<const char*>(sample.data()), static_cast<std::streamsize>(sample.size() * 4));
    }
    if (!out) {
        std::cerr << "synth-eol: cannot write " << argv[5] << "\n";
        return 1;
    }
    return 0;
}
