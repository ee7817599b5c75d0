#include "acquisition/electrodes/electrode_file.h"

#include "common/regular_file.h"
#include "common/truncate.h"

#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <limits>
#include <string_view>

namespace {

enum class Field { Number, Angle, Radius, Label };

bool IsBlank(char ch) { return ch == ' ' || ch == '\t'; }
double Digit(char ch) { return static_cast<double>(static_cast<unsigned char>(ch)) - 48.0; }

// The accumulator is single precision: each step is computed in double and rounded.
float Step(double value) { return static_cast<float>(value); }

void ComputePlaneCoordinates(ChannelRecord& record) {
    // 1/180 as the single-precision constant the montage files were made with.
    constexpr double kPerDegree = static_cast<double>(0.0055555557f);
    const double theta = record.angle * kPerDegree * 3.1415926;
    record.yPrecise = std::sin(theta) * record.radius;
    record.xPrecise = std::cos(theta) * record.radius;
    record.x = static_cast<float>(record.xPrecise);
    record.y = static_cast<float>(record.yPrecise);
}

void Normalise(std::span<ChannelRecord> records) {
    double xMin = 0, xMax = 0, yMin = 0, yMax = 0;
    for (const ChannelRecord& r : records) {
        if (r.x > xMax) xMax = r.x;
        if (r.x < xMin) xMin = r.x;
        if (r.y > yMax) yMax = r.y;
        if (r.y < yMin) yMin = r.y;
    }
    const double xMid = (xMin + xMax) * 0.5, xRange = xMax - xMin;
    const double yMid = (yMin + yMax) * 0.5, yRange = yMax - yMin;
    for (ChannelRecord& r : records) {
        r.mapX = (r.y - yMid) / yRange;
        r.mapY = -(r.x - xMid) / xRange;
    }
}

}  // namespace

void ParseElectrodeLine(std::string_view line, ChannelRecord& record) {
    Field field = Field::Number;
    float acc = 0.0f;
    bool inField = false;
    bool minus = false;
    int fractionDigit = 0;
    constexpr int kLastLabelIndex = ChannelRecord::kLabelSize - 1;

    for (std::size_t i = 0; i < line.size(); ++i) {
        const char ch = line[i];
        const bool blank = IsBlank(ch);
        switch (field) {
        case Field::Number:
            if (!blank) {
                acc = Step(static_cast<double>(acc) * 10 + Digit(ch));
                inField = true;
            } else if (inField) {
                record.number = TruncateToInt(acc);
                acc = 0;
                inField = false;
                field = Field::Angle;
            }
            break;
        case Field::Angle:
            if (!blank) {
                inField = true;
                if (ch == '-') minus = true;
                else acc = Step(static_cast<double>(acc) * 10 + Digit(ch));
            } else if (inField) {
                record.angle = TruncateToInt(minus ? -acc : acc);
                acc = 0;
                inField = false;
                field = Field::Radius;
            }
            break;
        case Field::Radius:
            if (!blank) {
                inField = true;
                if (ch == '.') {
                    fractionDigit = 1;
                } else if (fractionDigit > 0) {
                    acc = Step(static_cast<double>(acc) + Digit(ch) / std::pow(10.0, fractionDigit));
                    ++fractionDigit;
                } else {
                    acc = Step(static_cast<double>(acc) * 10 + Digit(ch));
                }
            } else if (inField) {
                record.radius = acc;
                acc = 0;
                inField = false;
                field = Field::Label;
            }
            break;
        case Field::Label: {
            if (!blank) {
                // Longer labels are cut: the record has room for 19 bytes.
                const auto at = static_cast<int>(acc);
                if (at < kLastLabelIndex) record.label[at] = ch;
                acc = Step(static_cast<double>(acc) + 1);
                inField = true;
            }
            const bool lastCharacter = i + 1 == line.size();
            if ((blank && inField) || lastCharacter) {
                const auto at = static_cast<int>(acc);
                record.label[at < kLastLabelIndex ? at : kLastLabelIndex] = '\0';
                acc = 0;
                inField = false;
                field = Field::Number;
            }
            break;
        }
        }
    }
    record.label[kLastLabelIndex] = '\0';
    ComputePlaneCoordinates(record);
}

namespace {

std::string OpenFailure(const std::string& path, const std::string& cause) {
    return "电极位置文件打开失败: " + path + " (" + cause + ")";
}

// The whole file, or nothing and the cause. Only a regular file of at most
// kMaxElectrodeFileBytes is read, so a device or a FIFO named by mistake can
// neither hang the program nor fill its memory.
bool ReadWholeFile(const std::string& path, std::string& text, std::string* error) {
    std::string cause;
    const UniqueFd fd = OpenRegularFile(path, kMaxElectrodeFileBytes, cause);
    if (!fd) {
        if (error) *error = OpenFailure(path, cause);
        return false;
    }
    char buffer[4096];
    for (;;) {
        const ssize_t got = ::read(fd.Get(), buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            if (error) *error = OpenFailure(path, std::strerror(errno));
            return false;
        }
        if (got == 0) return true;
        text.append(buffer, static_cast<std::size_t>(got));
        // The file grew after it was measured.
        if (text.size() > static_cast<std::size_t>(kMaxElectrodeFileBytes)) {
            if (error) *error = OpenFailure(path, "larger than " + std::to_string(kMaxElectrodeFileBytes) + " bytes");
            return false;
        }
    }
}

}  // namespace

int ReadElectrodeLocations(std::span<ChannelRecord> records, const std::string& path, std::string* error) {
    std::string text;
    if (!ReadWholeFile(path, text, error)) return 0;

    std::size_t count = 0;
    std::size_t start = 0;
    while (start < text.size() && count < records.size()) {
        std::size_t end = text.find('\n', start);
        const std::size_t next = end == std::string::npos ? text.size() : end + 1;
        if (end == std::string::npos) end = text.size();
        std::string_view line(text.data() + start, end - start);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        ParseElectrodeLine(line, records[count]);
        ++count;
        start = next;
    }
    if (count > 0) Normalise(records.first(count));
    return static_cast<int>(count);
}

std::string ElectrodeLabelWarning(const std::string& path) {
    constexpr std::size_t kShownBytes = 40;
    std::string text;
    if (!ReadWholeFile(path, text, nullptr)) return {};
    std::size_t start = 0;
    int number = 0;
    int firstNonEmpty = 0;
    std::string firstLine;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string_view line(text.data() + start, end - start);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        ++number;
        ChannelRecord record;
        ParseElectrodeLine(line, record);
        if (record.label[0] != '\0') return {};
        if (firstNonEmpty == 0 && !line.empty()) {
            firstNonEmpty = number;
            firstLine = std::string(line.substr(0, kShownBytes));
        }
        start = end + 1;
    }
    if (firstNonEmpty == 0) return path + ": no line gives an electrode label";
    return path + ":" + std::to_string(firstNonEmpty) + ": no electrode label in \"" + firstLine +
           "\" (expected: number angle radius label)";
}

std::string DefaultElectrodeFilePath(const std::string& executableDirectory) {
    const std::filesystem::path directory(executableDirectory);
    const auto beside = directory / kElectrodeFileName;
    const auto installed = (directory / ".." / "share" / "vostrel" / kElectrodeFileName).lexically_normal();
    std::error_code ignored;
    if (!std::filesystem::exists(beside, ignored) && std::filesystem::exists(installed, ignored)) return installed.string();
    return beside.string();
}
