#include "acquisition/foreign/foreign_recording.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include <unistd.h>

#include <biosig.h>
// The library's header defines isfinite as a macro where none is, which would
// hide std::isfinite.
#undef isfinite

namespace {

std::string Trimmed(std::string_view text) {
    const auto blank = [](unsigned char c) { return std::isspace(c) != 0; };
    while (!text.empty() && blank(static_cast<unsigned char>(text.front()))) text.remove_prefix(1);
    while (!text.empty() && blank(static_cast<unsigned char>(text.back()))) text.remove_suffix(1);
    return std::string(text);
}

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// libbiosig prints its warnings on standard output, which carries the
// programs' results: for as long as this lives they go to standard error.
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

}  // namespace

bool IsEventChannelLabel(std::string_view label) {
    const std::string name = Lower(Trimmed(label));
    return name == "status" || name == "event" || name == "events" || name == "trigger" || name == "marker" ||
           name.starts_with("edf annotations") || name.starts_with("bdf annotations");
}

// The open file. Only a file that opened is closed: sclose after a failed
// open touches what the failed open freed.
struct ForeignRecording::Library {
    HDRTYPE* header = nullptr;
    ~Library() {
        if (!header) return;
        sclose(header);
        destructHDR(header);
    }
};

ForeignRecording::~ForeignRecording() = default;

std::unique_ptr<ForeignRecording> ForeignRecording::Open(const std::string& path, std::string& error) {
    std::unique_ptr<ForeignRecording> recording(new ForeignRecording);
    recording->path_ = path;
    if (!CheckForeignFile(path, recording->layout_, error)) return nullptr;

    const WarningsToStandardError quiet;
    HDRTYPE* header = sopen(path.c_str(), "r", nullptr);
    if (!header) {
        error = path + ": cannot be opened";
        return nullptr;
    }
    if (biosig_check_error(header)) {
        char* message = biosig_get_errormsg(header);
        error = path + ": " + (message && *message ? std::string(message) : std::string("cannot be read"));
        std::free(message);
        destructHDR(header);
        return nullptr;
    }
    recording->library_ = std::make_unique<Library>();
    recording->library_->header = header;

    recording->sampleRate_ = biosig_get_samplerate(header);
    if (!(recording->sampleRate_ > 0.0) || !std::isfinite(recording->sampleRate_)) {
        error = path + ": no sample rate";
        return nullptr;
    }
    if (header->NRec > recording->layout_.records || header->NS > static_cast<decltype(header->NS)>(recording->layout_.signals)) {
        // libbiosig read the header otherwise than the check did: trust neither.
        error = path + ": the header is read two ways (records, signals)";
        return nullptr;
    }
    for (const CHANNEL_TYPE& channel : std::span<const CHANNEL_TYPE>(header->CHANNEL, header->NS)) {
        ForeignChannel info;
        info.label = Trimmed(channel.Label);
        const char* unit = PhysDim3(channel.PhysDimCode);
        info.unit = unit ? unit : "";
        const double scale = PhysDimScale(channel.PhysDimCode);
        info.unitScale = std::isfinite(scale) && scale > 0.0 ? scale : 0.0;
        info.sameRate = channel.SPR == header->SPR;
        info.data = channel.OnOff == 1;
        recording->channels_.push_back(std::move(info));
    }

    const double eventRate = biosig_get_eventtable_samplerate(header);
    const double eventScale = eventRate > 0.0 ? recording->sampleRate_ / eventRate : 1.0;
    const std::size_t eventCount = biosig_get_number_of_events(header);
    for (std::size_t e = 0; e < eventCount; ++e) {
        std::uint16_t type = 0;
        std::uint32_t position = 0;
        std::uint32_t duration = 0;
        if (biosig_get_nth_event(header, e, &type, &position, nullptr, &duration, nullptr, nullptr) != 0) continue;
        const char* text = GetEventDescription(header, e);
        recording->events_.push_back({std::llround(position * eventScale), std::llround(duration * eventScale), type,
                                      text ? Trimmed(text) : std::string()});
    }
    return recording;
}

bool ForeignRecording::ReadSamples(std::span<const int> chosen, Eigen::MatrixXd& samples, std::string& error) {
    HDRTYPE* header = library_->header;
    const std::span<CHANNEL_TYPE> channels(header->CHANNEL, header->NS);
    for (int c : chosen) {
        if (c < 0 || static_cast<std::size_t>(c) >= channels.size() || !channels_[static_cast<std::size_t>(c)].sameRate) {
            error = path_ + ": channel " + std::to_string(c + 1) + " cannot be read at the recording's rate";
            return false;
        }
    }
    // The library reads only channels that are on, in channel order.
    std::vector<int> sorted(chosen.begin(), chosen.end());
    std::sort(sorted.begin(), sorted.end());
    sorted.erase(std::unique(sorted.begin(), sorted.end()), sorted.end());
    for (std::size_t c = 0; c < channels.size(); ++c)
        channels[c].OnOff = std::binary_search(sorted.begin(), sorted.end(), static_cast<int>(c)) ? 1 : 0;
    // Values as stored: the header's ranges of some writers are not the data's.
    biosig_reset_flag(header, BIOSIG_FLAG_OVERFLOWDETECTION);
    biosig_reset_flag(header, BIOSIG_FLAG_ROW_BASED_CHANNELS);
    const auto records = static_cast<std::size_t>(std::max<nrec_t>(header->NRec, 0));
    const auto length = static_cast<Eigen::Index>(records * header->SPR);
    Eigen::MatrixXd all(length, static_cast<Eigen::Index>(sorted.size()));
    const WarningsToStandardError quiet;
    if (length > 0 && !sorted.empty() && sread(all.data(), 0, records, header) != records) {
        error = path_ + ": cannot read the samples";
        return false;
    }
    samples.resize(length, static_cast<Eigen::Index>(chosen.size()));
    for (std::size_t j = 0; j < chosen.size(); ++j) {
        const auto column = std::lower_bound(sorted.begin(), sorted.end(), chosen[j]) - sorted.begin();
        samples.col(static_cast<Eigen::Index>(j)) = all.col(column);
    }
    return true;
}
