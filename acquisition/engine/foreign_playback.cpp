#include "acquisition/engine/foreign_playback.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <limits>
#include <map>
#include <optional>


namespace {

constexpr std::size_t kSignalSlotCount = std::size(SampleRecord::kSignalSlots);

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::int32_t Saturated(double value) {
    if (!std::isfinite(value)) return 0;
    const double rounded = std::round(value);
    if (rounded >= std::numeric_limits<std::int32_t>::max()) return std::numeric_limits<std::int32_t>::max();
    if (rounded <= std::numeric_limits<std::int32_t>::min()) return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(rounded);
}

// Counts per unit of the channel's values.
double CountsPerUnit(const ForeignChannel& channel) {
    const bool volts = !channel.unit.empty() && channel.unit.back() == 'V' && channel.unitScale > 0.0;
    return volts ? channel.unitScale / (kForeignMicrovoltsPerCount * 1e-6) : 1.0;
}

std::optional<std::int32_t> WholeNumber(const std::string& text) {
    std::int32_t value = 0;
    const auto [end, failure] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || failure != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

}  // namespace

std::vector<std::int32_t> ForeignEventCodes(const std::vector<ForeignEvent>& events,
                                            std::vector<std::pair<std::int32_t, std::string>>& namedCodes) {
    std::vector<std::optional<std::int32_t>> fixed;
    std::vector<std::int32_t> taken;
    for (const ForeignEvent& event : events) {
        // GDF's own event types (256 and up) are numbers already; below that
        // the type only indexes the file's table of texts.
        std::optional<std::int32_t> code = event.type >= 256 ? std::optional<std::int32_t>(event.type) : WholeNumber(event.text);
        if (code) taken.push_back(*code);
        fixed.push_back(code);
    }
    std::sort(taken.begin(), taken.end());
    std::map<std::string, std::int32_t> byText;
    std::int32_t next = 1;
    std::vector<std::int32_t> codes;
    for (std::size_t e = 0; e < events.size(); ++e) {
        if (fixed[e]) {
            codes.push_back(*fixed[e]);
            continue;
        }
        auto [at, added] = byText.try_emplace(events[e].text, 0);
        if (added) {
            while (std::binary_search(taken.begin(), taken.end(), next)) ++next;
            at->second = next++;
            namedCodes.emplace_back(at->second, events[e].text);
        }
        codes.push_back(at->second);
    }
    return codes;
}

bool IsForeignRecordingPath(const std::string& path) {
    const auto dot = path.rfind('.');
    if (dot == std::string::npos || path.find('/', dot) != std::string::npos) return false;
    const std::string extension = Lower(path.substr(dot + 1));
    return extension == "edf" || extension == "bdf" || extension == "gdf";
}

int PlaybackPacketSize(int rate) {
    const int packet = static_cast<int>(std::lround(rate / 25.0 / 4.0)) * 4;
    return std::clamp(packet, 4, std::max(4, rate - rate % 4));
}

bool LoadForeignPlayback(const std::string& path, ForeignPlayback& playback, std::string& error) {
    const auto recording = ForeignRecording::Open(path, error);
    if (!recording) return false;
    std::vector<int> chosen;
    const std::vector<ForeignChannel>& channels = recording->Channels();
    for (std::size_t c = 0; c < channels.size() && chosen.size() < kSignalSlotCount; ++c) {
        const ForeignChannel& channel = channels[c];
        if (channel.data && channel.sameRate && !IsEventChannelLabel(channel.label)) chosen.push_back(static_cast<int>(c));
    }
    if (chosen.empty()) {
        error = path + ": no signal channel at the recording's rate";
        return false;
    }
    Eigen::MatrixXd samples;
    if (!recording->ReadSamples(chosen, samples, error)) return false;

    ForeignPlayback result;
    result.sampleRate = recording->SampleRate();
    result.records.resize(static_cast<std::size_t>(samples.rows()));
    for (std::size_t j = 0; j < chosen.size(); ++j) {
        const ForeignChannel& channel = channels[static_cast<std::size_t>(chosen[j])];
        result.labels.push_back(channel.label);
        const double perUnit = CountsPerUnit(channel);
        const int slot = SampleRecord::kSignalSlots[j];
        for (Eigen::Index s = 0; s < samples.rows(); ++s)
            result.records[static_cast<std::size_t>(s)].slots[slot] = Saturated(samples(s, static_cast<Eigen::Index>(j)) * perUnit);
    }
    const std::vector<ForeignEvent>& events = recording->Events();
    const std::vector<std::int32_t> codes = ForeignEventCodes(events, result.namedCodes);
    const auto count = static_cast<std::int64_t>(result.records.size());
    for (std::size_t e = 0; e < events.size(); ++e) {
        const std::int64_t first = events[e].sample;
        const std::int64_t last = std::min(count, first + std::max<std::int64_t>(1, events[e].samples));
        for (std::int64_t s = std::max<std::int64_t>(0, first); s < last; ++s)
            result.records[static_cast<std::size_t>(s)].slots[SampleRecord::kEventSlot] = codes[e];
    }
    playback = std::move(result);
    return true;
}
