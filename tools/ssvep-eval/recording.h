#pragma once
// Recordings that the evaluation reads: GDF, EDF and BDF through libbiosig,
// and EOL recordings of this system. Each gives its sample rate, its events
// and the samples of the leads chosen when it was opened.
//
// Single-threaded.

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include <Eigen/Core>

#include "common/sample_record.h"

struct RecordingEvent {
    std::int64_t sample = 0;  // at the recording's own rate
    std::uint32_t code = 0;
};

class Recording {
public:
    virtual ~Recording() = default;

    double SampleRate() const { return sampleRate; }
    std::int64_t SampleCount() const { return sampleCount; }
    const std::vector<RecordingEvent>& Events() const { return events; }
    // The chosen leads, as the user named them.
    const std::vector<std::string>& LeadNames() const { return leadNames; }

    // Samples first to first + count - 1 of the chosen leads, one column per
    // lead. False, out unchanged, when the span is not inside the recording or
    // cannot be read.
    bool Read(std::int64_t first, std::int64_t count, Eigen::MatrixXd& out) {
        if (first < 0 || count < 0 || first > sampleCount - count) return false;
        return ReadInside(first, count, out);
    }

protected:
    // Read, for a span inside the recording.
    virtual bool ReadInside(std::int64_t first, std::int64_t count, Eigen::MatrixXd& out) = 0;

    double sampleRate = 0.0;
    std::int64_t sampleCount = 0;
    std::vector<RecordingEvent> events;
    std::vector<std::string> leadNames;
};

// Opens a recording: EOL when the name ends in .eol (any case), else whatever
// libbiosig reads. Leads are channel labels for libbiosig's formats (compared
// without case and surrounding blanks) and lead numbers 1 to 21 for EOL; no
// leads means every signal channel (for EOL leads 1-8 and 11-18). Returns
// nothing, with the reason in error, when the file or a lead cannot be had.
std::unique_ptr<Recording> OpenRecording(const std::string& path, const std::vector<std::string>& leads,
                                         std::string& error);
