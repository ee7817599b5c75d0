#pragma once
// The files beside a recording that say what the EOL format cannot: NAME.json
// (when the first record was taken, the rate, the labels, the unit, the
// device, the frames lost) and NAME_events.tsv (every marker, in the style of
// BIDS events files: onset, duration, value, source). The EOL file itself is
// left exactly as it always was; a reader that does not know these loses
// nothing.
//
// The JSON is replaced whole through a temporary file and a rename, so a
// crash at any moment leaves either the old or the new one. Event lines are
// appended one write each.
//
// Threads: a RecordingSidecar is used by one thread at a time (the UI
// thread). Reading is for any thread.

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

enum class MarkerSource { Amplifier, Key, Network };

std::string_view MarkerSourceName(MarkerSource source);

// What is known when the recording opens.
struct SidecarInfo {
    int sampleRate = 0;
    int packetSize = 0;
    std::vector<std::string> labels;  // per record slot, empty for an unused slot
    std::optional<double> microvoltsPerCount;
    std::string device;  // "emulator", "amplifier /dev/ttyUSB0", "playback of FILE"
    std::string program;
    std::string version;
};

// A wall-clock instant with the UTC offset it was taken in.
struct WallTime {
    std::timespec time{};
    long utcOffsetSeconds = 0;
};

struct SidecarEvent {
    double onsetSeconds = 0.0;
    double durationSeconds = 0.0;
    std::string value;
    MarkerSource source = MarkerSource::Amplifier;
};

std::string SidecarJsonPath(const std::string& recordingPath);
std::string SidecarEventsPath(const std::string& recordingPath);

// "2026-12-07T18:10:00.123+01:00"
std::string IsoTime(const WallTime& time);
std::optional<WallTime> ParseIsoTime(const std::string& text);
WallTime WallTimeOf(std::timespec time);

// A marker's text as one field of a line: tabs and line breaks become spaces.
std::string EventValueField(std::string_view value);

class RecordingSidecar {
public:
    // Writes the JSON (no start yet) and the events file's header line.
    bool Open(const std::string& recordingPath, SidecarInfo info, std::string& error);
    bool IsOpen() const { return !jsonPath_.empty(); }
    // Each rewrites the JSON when the value is new (the start: to the millisecond).
    bool SetStart(const WallTime& start);
    bool SetFramesLost(std::uint64_t lost);
    bool AddEvent(const SidecarEvent& event);
    void Close();

private:
    bool WriteJson();

    std::string jsonPath_;
    std::string eventsPath_;
    SidecarInfo info_;
    std::optional<WallTime> start_;
    std::uint64_t framesLost_ = 0;
};

// What an export takes from a sidecar.
struct SidecarContents {
    std::optional<WallTime> start;
    std::optional<double> microvoltsPerCount;
    int sampleRate = 0;
    std::vector<SidecarEvent> events;
};

// Reads both files of recordingPath. Nothing when there is no JSON beside it
// or it cannot be understood (error says why); a missing events file reads
// as no events.
std::optional<SidecarContents> ReadSidecar(const std::string& recordingPath, std::string& error);
