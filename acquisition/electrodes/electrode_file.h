#pragma once
// The electrode-location file: one line per channel, "number angle radius label",
// angle in degrees (0 towards the nose, positive to the right).

#include <cstdint>
#include <span>
#include <string>

struct ChannelRecord {
    static constexpr int kLabelSize = 20;  // 19 bytes and the terminating zero

    char label[kLabelSize] = {};  // bytes from the file (UTF-8 or GBK), always terminated
    std::int32_t number = 0;
    std::int32_t angle = 0;
    float radius = 0.0f;
    float x = 0.0f;  // radius × cos θ, towards the nose
    float y = 0.0f;  // radius × sin θ, towards the right ear
    double xPrecise = 0.0;
    double yPrecise = 0.0;
    double mapX = 0.0;  // -0.5 .. 0.5, to the right
    double mapY = 0.0;  // -0.5 .. 0.5, downwards (towards the back of the head)
};

// Larger files are refused: a montage is a few hundred bytes.
inline constexpr std::int64_t kMaxElectrodeFileBytes = 1 << 20;

// Fills records 0, 1, ... from the file's lines (at most records.size() lines are
// read; an empty line fills a record too), normalises the records read into map
// coordinates and returns how many lines were read. Returns 0 when the file
// cannot be opened, is not a regular file or is larger than
// kMaxElectrodeFileBytes (with the cause in *error, if given) or is empty; records
// without a line keep what they held.
int ReadElectrodeLocations(std::span<ChannelRecord> records, const std::string& path,
                           std::string* error = nullptr);

// Parses one line (without its line end) into record, as the file reader does,
// and computes its plane coordinates. Exposed for tests.
void ParseElectrodeLine(std::string_view line, ChannelRecord& record);

// A warning for a file that gives no label at all, so that a wrong or
// damaged file does not pass unnoticed as channels Ch1, Ch2, ...: names the
// file and its first line, "FILE:LINE: no electrode label in ...". Empty when
// a line gives a label, or the file cannot be read (its readers say so).
std::string ElectrodeLabelWarning(const std::string& path);

inline constexpr const char* kElectrodeFileName = "kestrom.dll";

// The default electrode file: kestrom.dll beside the program, or, for an
// installed program, in ../share/vostrel/ from its directory. Beside the
// program when neither exists, so that the message names the first place.
std::string DefaultElectrodeFilePath(const std::string& executableDirectory);
