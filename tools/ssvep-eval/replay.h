#pragma once
// Pallock's windows, cut from an EOL recording the way Vostrel's playback
// streams it: records from one record on, packets of 40 records handed to the
// very detector Pallock runs.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "ssvep_detector.h"

// Records that one pass of Vostrel's playback sends before it starts again
// from the first record: the file's whole packets of packetSize records, less
// the last one when the records fill whole packets exactly (a playback rewinds
// as soon as no more than one packet remains), but the only one when there is
// just one. 0 when not one whole packet is there.
std::int64_t PlayedRecords(std::int64_t recordCount, int packetSize);

struct ReplaySettings {
    std::int64_t fromRecord = 0;      // 0-based, within one pass of the playback
    std::optional<int> windowCount;   // default: the windows before the pass ends
    SsvepMethod method = SsvepMethod::Fft;
    std::vector<int> leads{1};
    SsvepDetector::Frequencies frequencies = SsvepDetector::defaultFrequencies;
    double threshold = 0.0;
    std::optional<int> sampleRate;    // default: the file's
    // Other than the plain rules, windows follow them; without a window count
    // the replay then ends with the pass (or after a pass without a result).
    DecisionRules rules;
};

// Runs the detector over the recording's windows as Pallock would. False, with
// the reason in error, when the file cannot be read or a setting is refused.
bool ReplayRecording(const std::string& path, const ReplaySettings& settings, std::vector<SsvepResult>& results,
                     std::string& error);
