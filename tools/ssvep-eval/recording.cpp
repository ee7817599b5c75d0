#include "recording.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include <unistd.h>

#include <biosig.h>
// The library's header defines isfinite as a macro where none is, which would
// hide std::isfinite.
#undef isfinite

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

struct BiosigClose {
    void operator()(HDRTYPE* header) const {
        sclose(header);
        destructHDR(header);
    }
};
using BiosigHandle = std::unique_ptr<HDRTYPE, BiosigClose>;

// libbiosig prints its warnings on standard output, which carries the tool's
// results: for as long as this lives they go to standard error instead.
class WarningsToStandardError {
public:
    WarningsToStandardError() : saved(dup(STDOUT_FILENO)) {
        std::fflush(stdout);
        if (saved >= 0) dup2(STDERR_FILENO, STDOUT_FILENO);
    }
    ~WarningsToStandardError() {
        std::fflush(stdout);
        if (saved < 0) return;
        dup2(saved, STDOUT_FILENO);
        close(saved);
    }
    WarningsToStandardError(const WarningsToStandardError&) = delete;
    WarningsToStandardError& operator=(const WarningsToStandardError&) = delete;

private:
    int saved;
};

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
    const WarningsToStandardError quiet;
    BiosigHandle header(sopen(path.c_str(), "r", nullptr));
    if (!header || biosig_check_error(header.get())) {
        char* message = header ? biosig_get_errormsg(header.get()) : nullptr;
        error = "cannot read " + path + (message && *message ? std::string(": ") + message : std::string());
        std::free(message);
        return nullptr;
    }
    auto recording = std::make_unique<BiosigRecording>();
    recording->sampleRate = biosig_get_samplerate(header.get());
    if (!(recording->sampleRate > 0.0) || !std::isfinite(recording->sampleRate)) {
        error = path + " has no sample rate";
        return nullptr;
    }

    // The chosen channels, in the order asked for. The channel table is read
    // directly: the library's own accessors count only the channels that are
    // on, which changes below.
    const std::span<CHANNEL_TYPE> channels(header->CHANNEL, header->NS);
    std::vector<int> chosen;
    if (leads.empty()) {
        for (std::size_t c = 0; c < channels.size(); ++c)
            if (channels[c].OnOff == 1) chosen.push_back(static_cast<int>(c));
    }
    for (const std::string& lead : leads) {
        const auto found = std::find_if(channels.begin(), channels.end(),
                                        [&](const CHANNEL_TYPE& channel) { return SameLabel(channel.Label, lead); });
        if (found == channels.end()) {
            error = path + " has no channel labelled " + lead;
            return nullptr;
        }
        chosen.push_back(static_cast<int>(found - channels.begin()));
    }
    for (int c : chosen) {
        recording->leadNames.push_back(Trimmed(channels[static_cast<std::size_t>(c)].Label));
        // The library repeats the samples of a slower channel up to the fastest.
        if (channels[static_cast<std::size_t>(c)].SPR != header->SPR) {
            error = "channel " + recording->leadNames.back() + " of " + path + " has a sample rate of its own";
            return nullptr;
        }
    }

    // The library reads only channels that are on, in channel order; and it
    // reads a file reliably only from its first record, so all of it at once.
    std::vector<int> sorted = chosen;
    std::sort(sorted.begin(), sorted.end());
    sorted.erase(std::unique(sorted.begin(), sorted.end()), sorted.end());
    for (std::size_t c = 0; c < channels.size(); ++c)
        channels[c].OnOff = std::binary_search(sorted.begin(), sorted.end(), static_cast<int>(c)) ? 1 : 0;
    // Values as stored: the header's ranges of some writers are not the data's.
    biosig_reset_flag(header.get(), BIOSIG_FLAG_OVERFLOWDETECTION);
    biosig_reset_flag(header.get(), BIOSIG_FLAG_ROW_BASED_CHANNELS);
    const auto records = static_cast<std::size_t>(std::max<nrec_t>(header->NRec, 0));
    const auto length = static_cast<Eigen::Index>(records * header->SPR);
    Eigen::MatrixXd all(length, static_cast<Eigen::Index>(sorted.size()));
    if (length > 0 && !sorted.empty() && sread(all.data(), 0, records, header.get()) != records) {
        error = "cannot read the samples of " + path;
        return nullptr;
    }
    recording->samples.resize(length, static_cast<Eigen::Index>(chosen.size()));
    for (std::size_t j = 0; j < chosen.size(); ++j) {
        const auto column = std::lower_bound(sorted.begin(), sorted.end(), chosen[j]) - sorted.begin();
        recording->samples.col(static_cast<Eigen::Index>(j)) = all.col(column);
    }
    recording->sampleCount = length;

    const double eventRate = biosig_get_eventtable_samplerate(header.get());
    const double eventScale = eventRate > 0.0 ? recording->sampleRate / eventRate : 1.0;
    const std::size_t eventCount = biosig_get_number_of_events(header.get());
    for (std::size_t e = 0; e < eventCount; ++e) {
        std::uint16_t type = 0;
        std::uint32_t position = 0;
        if (biosig_get_nth_event(header.get(), e, &type, &position, nullptr, nullptr, nullptr, nullptr) != 0) continue;
        recording->events.push_back({std::llround(position * eventScale), type});
    }
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
