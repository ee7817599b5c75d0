#include "acquisition/export/gdf_writer.h"

#include <biosig.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <vector>

#include "common/unique_fd.h"

namespace {

constexpr std::uint16_t kInt32Type = 5;
constexpr std::uint16_t kDimensionless = 512;  // "-": the unit table has no count

// Events are typed by a 16-bit code alone: MNE-Python reads a GDF 2 only
// without the tagged third header, which is where event texts would go. An
// annotation that is a number from 1 to 65535 keeps that number; any other
// text takes a free code from 1 to 255, the user-specific range, and the
// export tells which.
constexpr off_t kGdfBlock = 256;
constexpr off_t kHeaderLengthAt = 184;  // uint16: the headers' length in blocks
constexpr off_t kRecordDurationAt = 244;  // GDF 2.20: uint32 numerator, denominator
constexpr off_t kSignalCountAt = 252;   // uint16
constexpr const char* kGdfVersionText = "GDF 2.20";

bool PreadAll(int fd, void* data, std::size_t size, off_t at) {
    return ::pread(fd, data, size, at) == static_cast<ssize_t>(size);
}
bool PwriteAll(int fd, const void* data, std::size_t size, off_t at) {
    return ::pwrite(fd, data, size, at) == static_cast<ssize_t>(size);
}

}  // namespace

// libbiosig writes GDF 2.51: a third header of tags, empty or not, and the
// record duration as a double. MNE-Python asserts there is no third header
// and reads the duration as the rational number of GDF 2.20. Ours holds
// nothing a reader needs in tags and its duration is a simple fraction, so
// the file is made a GDF 2.20 that every reader takes alike: the version and
// the duration rewritten, the rest moved up over the tags and the header
// length set to the fixed and the channel headers.
bool MakeGdf220(const std::string& path, int sampleRate) {
    const UniqueFd fd(::open(path.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW));
    if (!fd) return false;
    std::uint16_t blocks = 0, signals = 0;
    if (!PreadAll(fd.Get(), &blocks, sizeof blocks, kHeaderLengthAt) ||
        !PreadAll(fd.Get(), &signals, sizeof signals, kSignalCountAt)) {
        return false;
    }
    const std::array<std::uint32_t, 2> duration{1, static_cast<std::uint32_t>(sampleRate)};  // one sample a record
    if (!PwriteAll(fd.Get(), kGdfVersionText, 8, 0) ||
        !PwriteAll(fd.Get(), duration.data(), sizeof duration, kRecordDurationAt)) {
        return false;
    }
    const std::uint16_t withoutTags = static_cast<std::uint16_t>(signals + 1);
    if (blocks <= withoutTags) return true;
    struct stat info {};
    if (::fstat(fd.Get(), &info) != 0) return false;
    std::vector<char> buffer(1 << 20);
    const off_t gap = off_t{blocks - withoutTags} * kGdfBlock;
    for (off_t from = off_t{blocks} * kGdfBlock; from < info.st_size;) {
        const auto n = static_cast<std::size_t>(std::min<off_t>(static_cast<off_t>(buffer.size()), info.st_size - from));
        if (!PreadAll(fd.Get(), buffer.data(), n, from) || !PwriteAll(fd.Get(), buffer.data(), n, from - gap)) return false;
        from += static_cast<off_t>(n);
    }
    return ::ftruncate(fd.Get(), info.st_size - gap) == 0 &&
           PwriteAll(fd.Get(), &withoutTags, sizeof withoutTags, kHeaderLengthAt);
}

namespace {

class GdfWriter final : public SignalWriter {
public:
    GdfWriter(HDRTYPE* hdr, std::string path, const SignalLayout& layout, GdfEventCodes codes)
        : hdr_(hdr),
          path_(std::move(path)),
          sampleRate_(layout.sampleRate),
          codes_(std::move(codes)),
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

    bool Annotate(std::int64_t sample, const std::string& text) override {
        const auto found = std::find_if(codes_.begin(), codes_.end(), [&text](const auto& c) { return c.text == text; });
        if (found == codes_.end() || eventCount_ >= eventCapacity_ ||
            sample >= std::numeric_limits<std::uint32_t>::max()) {
            return Fail("event table overflow");
        }
        const std::uint32_t n = eventCount_++;
        hdr_->EVENT.TYP[n] = found->code;
        hdr_->EVENT.POS[n] = static_cast<std::uint32_t>(sample);
        hdr_->EVENT.DUR[n] = 0;
        hdr_->EVENT.CHN[n] = 0;
        hdr_->EVENT.N = eventCount_;
        return true;
    }

    bool Finish() override {
        if (!Close()) return Fail("write failed");
        return MakeGdf220(path_, sampleRate_) ? true : Fail("write failed");
    }

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
    std::string path_;
    int sampleRate_;
    GdfEventCodes codes_;
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

std::optional<GdfEventCodes> ChooseGdfEventCodes(const std::vector<std::string>& texts) {
    GdfEventCodes codes;
    std::vector<bool> taken(kMaxGdfUserCode + 1, false);
    std::vector<std::string> words;
    for (const std::string& text : texts) {
        int number = 0;
        const auto [end, status] = std::from_chars(text.data(), text.data() + text.size(), number);
        if (status == std::errc() && end == text.data() + text.size() && number >= 1 && number <= 0xFFFF) {
            const auto code = static_cast<std::size_t>(number);
            codes.push_back({text, static_cast<std::uint16_t>(number)});
            if (code <= kMaxGdfUserCode) taken[code] = true;
        } else {
            words.push_back(text);
        }
    }
    std::size_t next = 1;
    for (const std::string& word : words) {
        while (next <= kMaxGdfUserCode && taken[next]) ++next;
        if (next > kMaxGdfUserCode) return std::nullopt;
        codes.push_back({word, static_cast<std::uint16_t>(next++)});
    }
    return codes;
}

std::unique_ptr<SignalWriter> OpenGdfWriter(const std::string& path, const SignalLayout& layout, std::string& error) {
    auto codes = ChooseGdfEventCodes(layout.eventTexts);
    if (!codes || layout.annotations > std::numeric_limits<std::uint32_t>::max()) {
        error = "GDF holds at most 255 distinct marker texts that are not numbers";
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
    // Nothing that would go into the tagged third header. constructHDR
    // copies the login name there with strdup.
    std::free(hdr->ID.Technician);
    hdr->ID.Technician = nullptr;
    hdr->ID.Hospital = nullptr;
    hdr->ID.Manufacturer.Name = nullptr;
    hdr->ID.Manufacturer.Model = nullptr;
    hdr->ID.Manufacturer.Version = nullptr;
    hdr->ID.Manufacturer.SerialNumber = nullptr;
    hdr->EVENT.SampleRate = layout.sampleRate;
    hdr->EVENT.N = 0;
    hdr->EVENT.LenCodeDesc = 0;

    hdr = sopen(path.c_str(), "w", hdr);
    if (biosig_check_error(hdr)) {
        error = "cannot be created";
        destructHDR(hdr);
        return nullptr;
    }
    return std::make_unique<GdfWriter>(hdr, path, layout, std::move(*codes));
}
