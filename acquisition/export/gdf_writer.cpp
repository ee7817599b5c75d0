#include "acquisition/export/gdf_writer.h"

#include <biosig.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

namespace {

constexpr std::uint16_t kInt32Type = 5;
constexpr std::uint16_t kDimensionless = 512;  // "-": the unit table has no count

class GdfWriter final : public SignalWriter {
public:
    // codeTexts back the header's event texts; a moved vector keeps its strings where they are.
    GdfWriter(HDRTYPE* hdr, const SignalLayout& layout, std::vector<std::string> codeTexts)
        : hdr_(hdr),
          codes_(layout.eventCodes),
          codeTexts_(std::move(codeTexts)),
          records_(layout.samples),
          eventCapacity_(static_cast<std::uint32_t>(layout.annotations)) {}

    ~GdfWriter() override { Close(); }

    // libbiosig's swrite writes hdr->NRec records from a channel-major block,
    // whatever count it is given, so each chunk is written with NRec set to
    // its own length; the header already holds the whole count.
    bool Write(std::span<const std::int32_t> samples) override {
        const std::size_t signals = hdr_->NS;
        const std::size_t rows = samples.size() / signals;
        if (rows == 0) return true;
        block_.resize(rows * signals);
        for (std::size_t s = 0; s < rows; ++s) {
            for (std::size_t c = 0; c < signals; ++c) block_[c * rows + s] = samples[s * signals + c];
        }
        hdr_->NRec = static_cast<nrec_t>(rows);
        hdr_->data.size[0] = rows;
        hdr_->data.size[1] = signals;
        const std::size_t written = swrite(block_.data(), rows, hdr_);
        hdr_->NRec = static_cast<nrec_t>(records_);
        if (written != rows || biosig_check_error(hdr_)) return Fail("write failed");
        return true;
    }

    bool Annotate(std::int64_t sample, std::int32_t code) override {
        const auto found = std::find(codes_.begin(), codes_.end(), code);
        if (found == codes_.end() || eventCount_ >= eventCapacity_ ||
            sample > std::numeric_limits<std::uint32_t>::max()) {
            return Fail("event table overflow");
        }
        const std::uint32_t n = eventCount_++;
        hdr_->EVENT.TYP[n] = static_cast<std::uint16_t>(found - codes_.begin() + 1);
        hdr_->EVENT.POS[n] = static_cast<std::uint32_t>(sample);
        hdr_->EVENT.DUR[n] = 0;
        hdr_->EVENT.CHN[n] = 0;
        hdr_->EVENT.N = eventCount_;
        return true;
    }

    bool Finish() override { return Close() ? true : Fail("write failed"); }

    std::string Error() const override { return error_; }

private:
    bool Close() {
        if (!hdr_) return true;
        const bool closed = sclose(hdr_) == 0 && !biosig_check_error(hdr_);
        destructHDR(hdr_);
        hdr_ = nullptr;
        return closed;
    }
    bool Fail(std::string reason) {
        error_ = std::move(reason);
        return false;
    }

    HDRTYPE* hdr_;
    std::vector<std::int32_t> codes_;
    std::vector<std::string> codeTexts_;  // the event table's texts, alive until the header goes
    std::int64_t records_;
    std::uint32_t eventCapacity_;
    std::vector<double> block_;
    std::uint32_t eventCount_ = 0;
    std::string error_;
};

void SetUpChannel(CHANNEL_TYPE& channel, const std::string& label, const SignalLayout& layout) {
    channel.OnOff = 1;
    std::strncpy(channel.Label, label.c_str(), MAX_LENGTH_LABEL);
    channel.Transducer[0] = '\0';
    channel.PhysDimCode = layout.unit == "uV" ? PhysDimCode("uV") : kDimensionless;
    channel.GDFTYP = kInt32Type;
    channel.SPR = 1;
    channel.DigMin = std::numeric_limits<std::int32_t>::min();
    channel.DigMax = std::numeric_limits<std::int32_t>::max();
    channel.PhysMin = channel.DigMin * layout.factor;
    channel.PhysMax = channel.DigMax * layout.factor;
    channel.Cal = layout.factor;
    channel.Off = 0.0;
    channel.LowPass = NAN;
    channel.HighPass = NAN;
    channel.Notch = NAN;
    channel.LeadIdCode = 0;
}

}  // namespace

std::unique_ptr<SignalWriter> OpenGdfWriter(const std::string& path, const SignalLayout& layout, std::string& error) {
    if (layout.eventCodes.size() > kMaxGdfEventCodes || layout.annotations > std::numeric_limits<std::uint32_t>::max()) {
        error = "GDF holds at most 255 distinct event codes";
        return nullptr;
    }
    const auto signals = static_cast<unsigned>(layout.labels.size());
    const auto events = static_cast<unsigned>(layout.annotations);
    HDRTYPE* hdr = constructHDR(signals, events);
    hdr->TYPE = GDF;
    hdr->SampleRate = layout.sampleRate;
    hdr->SPR = 1;
    hdr->NRec = static_cast<nrec_t>(layout.samples);
    hdr->FLAG.UCAL = 1;  // the samples handed over are the digital values
    for (unsigned c = 0; c < signals; ++c) SetUpChannel(hdr->CHANNEL[c], layout.labels[c], layout);

    std::tm local{};
    localtime_r(&layout.start.tv_sec, &local);
    hdr->T0 = t_time2gdf_time(static_cast<double>(layout.start.tv_sec + local.tm_gmtoff) + layout.start.tv_nsec * 1e-9);
    hdr->tzmin = static_cast<std::int16_t>(local.tm_gmtoff / 60);
    std::strncpy(hdr->ID.Recording, layout.note.c_str(), MAX_LENGTH_RID);

    // User events are an index into the table of texts; entry 0 is unused.
    std::vector<std::string> texts{""};
    for (std::int32_t code : layout.eventCodes) texts.push_back(std::to_string(code));
    hdr->EVENT.SampleRate = layout.sampleRate;
    hdr->EVENT.N = 0;
    hdr->EVENT.CodeDesc = static_cast<const char**>(std::realloc(hdr->EVENT.CodeDesc, texts.size() * sizeof(char*)));
    for (std::size_t i = 0; i < texts.size(); ++i) hdr->EVENT.CodeDesc[i] = texts[i].c_str();
    hdr->EVENT.LenCodeDesc = static_cast<std::uint16_t>(texts.size());

    hdr = sopen(path.c_str(), "w", hdr);
    if (biosig_check_error(hdr)) {
        error = "cannot be created";
        destructHDR(hdr);
        return nullptr;
    }
    return std::make_unique<GdfWriter>(hdr, layout, std::move(texts));
}
