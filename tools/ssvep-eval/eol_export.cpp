#include "eol_export.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "acquisition/recording/eol_file.h"

namespace {

std::int32_t ToCount(double value) {
    const double rounded = std::round(value);
    constexpr double lowest = std::numeric_limits<std::int32_t>::min();
    constexpr double highest = std::numeric_limits<std::int32_t>::max();
    return static_cast<std::int32_t>(std::clamp(rounded, lowest, highest));
}

}  // namespace

double CountsPerUnit(double largestMagnitude) {
    if (!(largestMagnitude > 0.0) || !std::isfinite(largestMagnitude)) return 1.0;
    const double limit = 1073741824.0;  // 2^30
    return std::pow(10.0, std::floor(std::log10(limit / largestMagnitude)));
}

int PacketSizeFor(int sampleRate) {
    for (int size = 40; size >= 4; size -= 4)
        if (sampleRate % size == 0) return size;
    return 4;
}

bool WriteEolRecording(Recording& recording, const std::string& path, EolExport& written, std::string& error) {
    const double rate = recording.SampleRate();
    const auto leads = static_cast<int>(recording.LeadNames().size());
    if (rate != std::floor(rate) || rate > std::numeric_limits<int>::max()) {
        error = "an EOL header holds a whole sample rate, not " + std::to_string(rate);
        return false;
    }
    if (leads > static_cast<int>(std::size(SampleRecord::kSignalSlots))) {
        error = "an EOL record holds at most 16 leads; choose them with --leads";
        return false;
    }
    Eigen::MatrixXd samples;
    if (!recording.Read(0, recording.SampleCount(), samples)) {
        error = "cannot read the samples to convert";
        return false;
    }
    written.packetSize = PacketSizeFor(static_cast<int>(rate));
    written.countsPerUnit = CountsPerUnit(samples.size() ? samples.cwiseAbs().maxCoeff() : 0.0);
    written.records = recording.SampleCount();

    std::vector<SampleRecord> records(static_cast<std::size_t>(written.records));
    for (std::size_t r = 0; r < records.size(); ++r)
        for (int k = 0; k < leads; ++k)
            records[r].slots[SampleRecord::kSignalSlots[k]] =
                ToCount(samples(static_cast<Eigen::Index>(r), k) * written.countsPerUnit);
    for (const RecordingEvent& event : recording.Events()) {
        // An event slot holds one code; a second event of the same record goes
        // to the next free one.
        std::int64_t r = std::max<std::int64_t>(event.sample, 0);
        while (r < written.records && records[static_cast<std::size_t>(r)].slots[SampleRecord::kEventSlot] != 0) ++r;
        if (r >= written.records) continue;
        records[static_cast<std::size_t>(r)].slots[SampleRecord::kEventSlot] = static_cast<std::int32_t>(event.code);
        if (r != event.sample) ++written.eventsMoved;
    }

    EolFile file;
    if (!file.Create(path) || !file.WriteHeader(static_cast<int>(rate), written.packetSize, eol::kDefaultScale) ||
        !file.Append(records)) {
        error = "cannot write " + path;
        return false;
    }
    file.Close();
    return true;
}
