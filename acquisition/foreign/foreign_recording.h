#pragma once
// A recording of another program, EDF, BDF or GDF, read through libbiosig
// after its header passed CheckForeignFile: its channels, its samples as
// physical values, and its events with their texts.
//
// Free of any toolkit. One thread at a time.

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include <Eigen/Core>

#include "acquisition/foreign/foreign_header.h"

struct ForeignChannel {
    std::string label;    // trimmed
    std::string unit;     // as libbiosig names it ("uV", "mV", ...); empty when it has none
    double unitScale = 0.0;  // the unit in its base unit (uV: 1e-6); 0 when not a scaled unit
    bool sameRate = true;    // at the recording's rate, not repeated from a slower one
    bool data = true;        // a signal (not an annotation channel)
};

struct ForeignEvent {
    std::int64_t sample = 0;   // at the recording's rate
    std::int64_t samples = 0;  // its duration at that rate; 0 when it has none
    std::uint16_t type = 0;
    std::string text;         // the annotation's text, or libbiosig's name of the type
};

// Whether a channel label names an event, trigger or status channel rather
// than a signal (compared without case and surrounding blanks).
bool IsEventChannelLabel(std::string_view label);

class ForeignRecording {
public:
    // Checks the file's header, then opens it. Nothing, with "PATH: reason"
    // in error, when it is refused or libbiosig cannot open it.
    static std::unique_ptr<ForeignRecording> Open(const std::string& path, std::string& error);
    ~ForeignRecording();
    ForeignRecording(const ForeignRecording&) = delete;
    ForeignRecording& operator=(const ForeignRecording&) = delete;

    double SampleRate() const { return sampleRate_; }
    const std::vector<ForeignChannel>& Channels() const { return channels_; }
    const std::vector<ForeignEvent>& Events() const { return events_; }
    const ForeignLayout& Layout() const { return layout_; }

    // Every sample of the channels chosen (indices into Channels(), each at
    // the recording's rate), one column per chosen channel in the order given,
    // as stored (no clipping to the header's ranges). False, with the reason
    // in error, when they cannot be read. Call once: libbiosig reads a file
    // reliably only from its first record.
    bool ReadSamples(std::span<const int> chosen, Eigen::MatrixXd& samples, std::string& error);

private:
    struct Library;
    ForeignRecording() = default;

    std::string path_;
    std::unique_ptr<Library> library_;
    ForeignLayout layout_;
    double sampleRate_ = 0.0;
    std::vector<ForeignChannel> channels_;
    std::vector<ForeignEvent> events_;
};
