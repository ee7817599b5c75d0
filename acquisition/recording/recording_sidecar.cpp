#include "acquisition/recording/recording_sidecar.h"

#include <nlohmann/json.hpp>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sstream>
#include <unistd.h>

#include "common/regular_file.h"

namespace {

// A sidecar is a few kilobytes; anything far larger is not ours.
constexpr std::int64_t kMaxJsonBytes = 1 << 20;
constexpr std::int64_t kMaxEventsBytes = 64 << 20;
constexpr const char* kEventsHeader = "onset\tduration\tvalue\tsource\n";

std::string WithoutExtension(const std::string& path) {
    const auto slash = path.rfind('/');
    const auto dot = path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash) || dot == slash + 1) return path;
    return path.substr(0, dot);
}

bool WriteAll(int fd, std::string_view text) {
    while (!text.empty()) {
        const ssize_t n = ::write(fd, text.data(), text.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        text.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

// The whole of path replaced by text, or nothing changed.
bool ReplaceFile(const std::string& path, std::string_view text) {
    const std::string temporary = path + ".tmp";
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0666);
    if (fd < 0) return false;
    const bool written = WriteAll(fd, text);
    const bool closed = ::close(fd) == 0;
    if (written && closed && ::rename(temporary.c_str(), path.c_str()) == 0) return true;
    ::unlink(temporary.c_str());
    return false;
}

bool AppendToFile(const std::string& path, std::string_view text) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) return false;
    const bool written = WriteAll(fd, text);
    return ::close(fd) == 0 && written;
}

std::optional<std::string> ReadWhole(const std::string& path, std::int64_t maxBytes, std::string& error) {
    const UniqueFd fd = OpenRegularFile(path, maxBytes, error);
    if (!fd) return std::nullopt;
    std::string text;
    char buffer[8192];
    for (;;) {
        const ssize_t n = ::read(fd.Get(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            error = std::strerror(errno);
            return std::nullopt;
        }
        if (n == 0) return text;
        text.append(buffer, static_cast<std::size_t>(n));
    }
}

std::optional<MarkerSource> SourceNamed(std::string_view name) {
    for (MarkerSource source : {MarkerSource::Amplifier, MarkerSource::Key, MarkerSource::Network}) {
        if (MarkerSourceName(source) == name) return source;
    }
    return std::nullopt;
}

// The events file's lines after its header; a line that is not whole (a
// crash in the middle of a write) or not understood is passed over.
std::vector<SidecarEvent> ParseEvents(const std::string& text) {
    std::vector<SidecarEvent> events;
    std::istringstream lines(text);
    std::string line;
    bool header = true;
    while (std::getline(lines, line)) {
        if (std::exchange(header, false) || lines.eof()) continue;
        std::vector<std::string> fields;
        std::istringstream cells(line);
        for (std::string cell; std::getline(cells, cell, '\t');) fields.push_back(cell);
        if (fields.size() != 4) continue;
        SidecarEvent event;
        char* end = nullptr;
        event.onsetSeconds = std::strtod(fields[0].c_str(), &end);
        if (end == fields[0].c_str() || *end != '\0' || !(event.onsetSeconds >= 0.0)) continue;
        event.durationSeconds = fields[1] == "n/a" ? 0.0 : std::strtod(fields[1].c_str(), nullptr);
        event.value = fields[2];
        const auto source = SourceNamed(fields[3]);
        if (!source || event.value.empty()) continue;
        event.source = *source;
        events.push_back(std::move(event));
    }
    return events;
}

}  // namespace

std::string_view MarkerSourceName(MarkerSource source) {
    switch (source) {
    case MarkerSource::Amplifier: return "amplifier";
    case MarkerSource::Key: return "key";
    case MarkerSource::Network: return "network";
    }
    return "amplifier";
}

std::string SidecarJsonPath(const std::string& recordingPath) { return WithoutExtension(recordingPath) + ".json"; }
std::string SidecarEventsPath(const std::string& recordingPath) {
    return WithoutExtension(recordingPath) + "_events.tsv";
}

WallTime WallTimeOf(std::timespec time) {
    std::tm local{};
    localtime_r(&time.tv_sec, &local);
    return WallTime{time, local.tm_gmtoff};
}

std::string IsoTime(const WallTime& wall) {
    const std::time_t shifted = wall.time.tv_sec + wall.utcOffsetSeconds;
    std::tm fields{};
    gmtime_r(&shifted, &fields);
    const long offsetMinutes = (wall.utcOffsetSeconds < 0 ? -wall.utcOffsetSeconds : wall.utcOffsetSeconds) / 60;
    char text[96];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03ld%c%02ld:%02ld", fields.tm_year + 1900,
                  fields.tm_mon + 1, fields.tm_mday, fields.tm_hour, fields.tm_min, fields.tm_sec,
                  wall.time.tv_nsec / 1'000'000, wall.utcOffsetSeconds < 0 ? '-' : '+', offsetMinutes / 60,
                  offsetMinutes % 60);
    return text;
}

std::optional<WallTime> ParseIsoTime(const std::string& text) {
    std::tm fields{};
    int milliseconds = 0, offsetHours = 0, offsetMinutes = 0, consumed = 0;
    char sign = 0;
    if (std::sscanf(text.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d.%3d%c%2d:%2d%n", &fields.tm_year, &fields.tm_mon,
                    &fields.tm_mday, &fields.tm_hour, &fields.tm_min, &fields.tm_sec, &milliseconds, &sign,
                    &offsetHours, &offsetMinutes, &consumed) != 10 ||
        static_cast<std::size_t>(consumed) != text.size() || (sign != '+' && sign != '-') || fields.tm_mon < 1 ||
        fields.tm_mon > 12 || fields.tm_mday < 1 || fields.tm_mday > 31 || fields.tm_hour > 23 || fields.tm_min > 59 ||
        fields.tm_sec > 60 || milliseconds < 0 || offsetHours > 23 || offsetMinutes > 59) {
        return std::nullopt;
    }
    fields.tm_year -= 1900;
    fields.tm_mon -= 1;
    const long offset = (sign == '-' ? -1 : 1) * (offsetHours * 3600L + offsetMinutes * 60L);
    WallTime wall;
    wall.time.tv_sec = timegm(&fields) - offset;
    wall.time.tv_nsec = milliseconds * 1'000'000L;
    wall.utcOffsetSeconds = offset;
    return wall;
}

std::string EventValueField(std::string_view value) {
    std::string field(value);
    for (char& c : field) {
        if (c == '\t' || c == '\n' || c == '\r') c = ' ';
    }
    return field;
}

bool RecordingSidecar::Open(const std::string& recordingPath, SidecarInfo info, std::string& error) {
    Close();
    info_ = std::move(info);
    jsonPath_ = SidecarJsonPath(recordingPath);
    eventsPath_ = SidecarEventsPath(recordingPath);
    if (!WriteJson()) {
        error = jsonPath_ + " (" + std::strerror(errno) + ")";
        Close();
        return false;
    }
    if (!ReplaceFile(eventsPath_, kEventsHeader)) {
        error = eventsPath_ + " (" + std::strerror(errno) + ")";
        Close();
        return false;
    }
    return true;
}

bool RecordingSidecar::SetStart(const WallTime& start) {
    constexpr long kMillisecond = 1'000'000;
    const auto milliseconds = [](const WallTime& t) { return t.time.tv_sec * 1000 + t.time.tv_nsec / kMillisecond; };
    if (!IsOpen() || (start_ && milliseconds(*start_) == milliseconds(start))) return false;
    start_ = start;
    return WriteJson();
}

bool RecordingSidecar::SetFramesLost(std::uint64_t lost) {
    if (!IsOpen() || lost == framesLost_) return false;
    framesLost_ = lost;
    return WriteJson();
}

bool RecordingSidecar::AddEvent(const SidecarEvent& event) {
    if (!IsOpen()) return false;
    char numbers[64];
    std::snprintf(numbers, sizeof numbers, "%.6f\t%.3f\t", event.onsetSeconds, event.durationSeconds);
    const std::string line = numbers + EventValueField(event.value) + "\t" +
                             std::string(MarkerSourceName(event.source)) + "\n";
    return AppendToFile(eventsPath_, line);
}

void RecordingSidecar::Close() {
    jsonPath_.clear();
    eventsPath_.clear();
    start_.reset();
    framesLost_ = 0;
}

bool RecordingSidecar::WriteJson() {
    nlohmann::ordered_json json;
    json["StartTime"] = start_ ? nlohmann::ordered_json(IsoTime(*start_)) : nlohmann::ordered_json(nullptr);
    json["SamplingFrequency"] = info_.sampleRate;
    json["PacketSize"] = info_.packetSize;
    json["RecordSlots"] = info_.labels;
    json["MicrovoltsPerCount"] =
        info_.microvoltsPerCount ? nlohmann::ordered_json(*info_.microvoltsPerCount) : nlohmann::ordered_json(nullptr);
    json["Device"] = info_.device;
    json["Program"] = info_.program;
    json["ProgramVersion"] = info_.version;
    json["FramesLost"] = framesLost_;
    // Labels come from the electrode file as bytes; one that is not UTF-8
    // is replaced rather than failing the whole file.
    return ReplaceFile(jsonPath_, json.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n");
}

std::optional<SidecarContents> ReadSidecar(const std::string& recordingPath, std::string& error) {
    const std::string jsonPath = SidecarJsonPath(recordingPath);
    const auto text = ReadWhole(jsonPath, kMaxJsonBytes, error);
    if (!text) {
        error = jsonPath + ": " + error;
        return std::nullopt;
    }
    const nlohmann::json json = nlohmann::json::parse(*text, nullptr, false);
    if (json.is_discarded() || !json.is_object()) {
        error = jsonPath + ": not a recording's JSON";
        return std::nullopt;
    }
    SidecarContents contents;
    if (const auto it = json.find("StartTime"); it != json.end() && it->is_string()) {
        contents.start = ParseIsoTime(it->get<std::string>());
    }
    if (const auto it = json.find("MicrovoltsPerCount"); it != json.end() && it->is_number() && it->get<double>() > 0.0) {
        contents.microvoltsPerCount = it->get<double>();
    }
    if (const auto it = json.find("SamplingFrequency"); it != json.end() && it->is_number_integer()) {
        contents.sampleRate = it->get<int>();
    }
    std::string ignored;
    if (const auto events = ReadWhole(SidecarEventsPath(recordingPath), kMaxEventsBytes, ignored)) {
        contents.events = ParseEvents(*events);
    }
    return contents;
}
