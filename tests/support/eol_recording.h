#pragma once
// A recording written the way the recorder writes one, for tests that read,
// import or convert recordings.

#include <string>
#include <vector>

#include "acquisition/recording/eol_file.h"

// Writes path: the header, then each packet by an Append of its own, and
// closes it. False when the writer failed at any step.
inline bool WriteEolRecording(const std::string& path, int sampleRate, int packetSize, double scale,
                              const std::vector<std::vector<SampleRecord>>& packets = {}) {
    EolFile file;
    if (!file.Create(path) || !file.WriteHeader(sampleRate, packetSize, scale)) return false;
    for (const std::vector<SampleRecord>& packet : packets) {
        if (!file.Append(packet)) return false;
    }
    file.Close();
    return true;
}
