#pragma once
// What the export hands a file writer: the file's layout, then the signal
// samples front to back and the annotations, then Finish.
//
// Threads: a writer is used by one thread at a time.

#include <cstdint>
#include <ctime>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "acquisition/export/channel_scale.h"

struct SignalLayout {
    int sampleRate = 0;
    std::int64_t samples = 0;
    std::vector<std::string> labels;  // one per signal
    std::string unit;                 // "uV", or "count" for raw counts
    double factor = 1.0;              // physical units per raw count
    std::vector<ChannelScale> scales;  // per signal, for the formats that need one
    std::int64_t annotations = 0;      // how many Annotate will be called
    std::vector<std::string> eventTexts;  // the distinct annotation texts, in order of appearance
    // Local time of the first sample.
    std::timespec start{};
    std::string note;  // a line for the header's free text
};

class SignalWriter {
public:
    virtual ~SignalWriter() = default;
    // Raw counts, sample-major, one value per signal per sample.
    virtual bool Write(std::span<const std::int32_t> samples) = 0;
    // An event or marker at a sample index: the amplifier's code in digits,
    // or the marker's own text.
    virtual bool Annotate(std::int64_t sample, const std::string& text) = 0;
    // Completes the file; nothing more may be written.
    virtual bool Finish() = 0;
    // Why the last call failed.
    virtual std::string Error() const = 0;
};
