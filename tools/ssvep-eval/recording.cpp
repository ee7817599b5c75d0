#include "recording.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "acquisition/foreign/foreign_recording.h"
#include "acquisition/recording/eol_file.h"
#include "ssvep_detector.h"

namespace {

constexpr std::size_t recordsPerChunk = 4096;

std::string Trimmed(std::string_view text) {
    const auto blank = [](unsigned char c) { return std::isspace(c) != 0; };
    while (!text.empty() && blank(static_cast<unsigned char>(text.front()))) text.remove_prefix(1);
    while (!text.empty() && blank(static_cast<unsigned char>(text.back()))) text.remove_suffix(1);
    return std::string(text);
}

bool SameLabel(std::string_view a, std::string_view b) {
    const std::string x = Trimmed(a);
    const std::string y = Trimmed(b);
    return std::equal(x.begin(), x.end(), y.begin(), y.end(), [](char c, char d) {
        return std::tolower(static_cast<unsigned char>(c)) == std::tolower(static_cast<unsigned char>(d));
    });
}

bool EndsWithEol(const std::string& path) {
    return path.size() >= 4 && SameLabel(std::string_view(path).substr(path.size() - 4), ".eol");
}

class BiosigRecording final : public Recording {
public:
    static std::unique_ptr<Recording> Open(const std::string& path, const std::vector<std::string>& leads,
                                           std::string& error);

private:
    bool ReadInside(std::int64_t first, std::int64_t count, Eigen::MatrixXd& out) override {
        out = samples.middleRows(first, count);
        return true;
    }

    Eigen::MatrixXd samples;  // the whole recording of the chosen leads
};

std::unique_ptr<Recording> BiosigRecording::Open(const std::string& path, const std::vector<std::string>& leads,
                                                 std::string& error) {
    const std::unique_ptr<ForeignRecording> file = ForeignRecording::Open(path, error);
    if (!file) return nullptr;
    auto recording = std::make_unique<BiosigRecording>();
    recording->sampleRate = file->SampleRate();

    // The chosen channels, in the order asked for.
    const std::vector<ForeignChannel>& channels = file->Channels();
    std::vector<int> chosen;
    if (leads.empty()) {
        for (std::size_t c = 0; c < channels.size(); ++c)
            if (channels[c].data) chosen.push_back(static_cast<int>(c));
    }
    for (const std::string& lead : leads) {
        const auto found = std::find_if(channels.begin(), channels.end(),
                                        [&](const ForeignChannel& channel) { return SameLabel(channel.label, lead); });
        if (found == channels.end()) {
            error = path + " has no channel labelled " + lead;
            return nullptr;
        }
        chosen.push_back(static_cast<int>(found - channels.begin()));
    }
    for (int c : chosen) {
        recording->leadNames.push_back(channels[static_cast<std::size_t>(c)].label);
        // The library repeats the samples of a slower channel up to the fastest.
        if (!channels[static_cast<std::size_t>(c)].sameRate) {
            error = "channel " + recording->leadNames.back() + " of " + path + " has a sample rate of its own";
            return nullptr;
        }
    }
    if (!file->ReadSamples(chosen, recording->samples, error)) return nullptr;
    recording->sampleCount = recording->samples.rows();
    for (const ForeignEvent& event : file->Events()) recording->events.push_back({event.sample, event.type});
    return recording;
}

class EolRecording final : public Recording {
public:
    static std::unique_ptr<Recording> Open(const std::string& path, const std::vector<std::string>& leads,
                                           std::string& error);

private:
    bool ReadInside(std::int64_t first, std::int64_t count, Eigen::MatrixXd& out) override {
        if (!reader.Seek(first)) return false;
        Eigen::MatrixXd values(count, static_cast<Eigen::Index>(slots.size()));
        std::vector<SampleRecord> chunk(std::min<std::size_t>(recordsPerChunk, static_cast<std::size_t>(count)));
        for (std::int64_t done = 0; done < count;) {
            const std::size_t wanted = std::min<std::size_t>(chunk.size(), static_cast<std::size_t>(count - done));
            const std::size_t got = reader.Read(std::span(chunk).first(wanted));
            if (got == 0) return false;
            for (std::size_t r = 0; r < got; ++r)
                for (std::size_t j = 0; j < slots.size(); ++j)
                    values(done + static_cast<std::int64_t>(r), static_cast<Eigen::Index>(j)) =
                        chunk[r].slots[slots[j]] * SsvepDetector::sampleScale;
            done += static_cast<std::int64_t>(got);
        }
        out = std::move(values);
        return true;
    }

    EolReader reader;
    std::vector<int> slots;
};

std::unique_ptr<Recording> EolRecording::Open(const std::string& path, const std::vector<std::string>& leads,
                                              std::string& error) {
    auto recording = std::make_unique<EolRecording>();
    std::string cause;
    if (!recording->reader.Open(path, cause)) {
        error = "cannot read " + path + ": " + cause;
        return nullptr;
    }
    const EolHeader& header = recording->reader.Header();
    if (header.channelCount != SampleRecord::kSlotCount || header.sampleRate <= 0) {
        error = path + " is not an EOL recording of 21-slot records with a sample rate";
        return nullptr;
    }
    recording->sampleRate = header.sampleRate;
    recording->sampleCount = recording->reader.RecordCount();

    std::vector<std::string> names = leads;
    if (names.empty())
        for (int slot : SampleRecord::kSignalSlots) names.push_back(std::to_string(slot + 1));
    for (const std::string& name : names) {
        int lead = 0;
        const auto [end, failure] = std::from_chars(name.data(), name.data() + name.size(), lead);
        if (failure != std::errc() || end != name.data() + name.size() || lead < SsvepDetector::firstLead ||
            lead > SsvepDetector::lastLead) {
            error = "the leads of an EOL recording are numbers from 1 to 21, not " + name;
            return nullptr;
        }
        recording->slots.push_back(lead - 1);
        recording->leadNames.push_back(name);
    }

    std::vector<SampleRecord> chunk(recordsPerChunk);
    EventOnsets onsets;
    for (std::int64_t first = 0;;) {
        const std::size_t got = recording->reader.Read(chunk);
        if (got == 0) break;
        onsets.Scan(std::span(chunk).first(got), first, [&](std::int64_t record, std::int32_t code) {
            recording->events.push_back({record, static_cast<std::uint32_t>(code)});
        });
        first += static_cast<std::int64_t>(got);
    }
    return recording;
}

}  // namespace

std::unique_ptr<Recording> OpenRecording(const std::string& path, const std::vector<std::string>& leads,
                                         std::string& error) {
    if (EndsWithEol(path)) return EolRecording::Open(path, leads, error);
    return BiosigRecording::Open(path, leads, error);
}
