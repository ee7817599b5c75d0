#pragma once
// The fixed part of an EDF, BDF or GDF header, checked against the file that
// holds it before libbiosig opens the file. libbiosig believes what a header
// says: a signal count, samples per record or record count that lies makes it
// read past its buffers, allocate gigabytes or seek for minutes. A file that
// passes these checks asks for memory in proportion to its own size.
//
// Free of any toolkit; any thread.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

enum class ForeignFormat { Edf, Bdf, Gdf1, Gdf2 };

struct ForeignLayout {
    ForeignFormat format = ForeignFormat::Edf;
    int signals = 0;
    std::int64_t headerBytes = 0;
    std::int64_t records = 0;      // as declared, or as the file holds when the header says -1
    std::int64_t recordBytes = 0;  // one record of every signal
    std::int64_t samplesPerRecord = 0;  // of the fastest signal (the least common multiple of all)
    double recordSeconds = 0.0;
    // EDF+/BDF+: where each annotation signal's bytes end within a record.
    std::vector<std::int64_t> annotationEnds;
};

inline constexpr int kMaxForeignSignals = 1024;
inline constexpr std::int64_t kMaxSamplesPerRecord = 1 << 20;
// Samples as doubles, with every signal at the fastest one's rate, may take
// this many times the file's size (plus a megabyte), and never more than
// kMaxDecodedBytes.
inline constexpr std::int64_t kDecodedPerFileByte = 32;
inline constexpr std::int64_t kMaxDecodedBytes = std::int64_t{8} << 30;

// Checks the header bytes (the file's first bytes; at least the fixed part and
// the signal table for a file to pass) of a file of fileBytes. False, with the
// field that lies and why in error, for a file that libbiosig must not open.
bool CheckForeignHeader(std::span<const std::uint8_t> header, std::int64_t fileBytes, ForeignLayout& layout,
                        std::string& error);

// Reads the head of the file at path and checks it. error names the file.
bool CheckForeignFile(const std::string& path, ForeignLayout& layout, std::string& error);
