#include "acquisition/export/edf_writer.h"

#include <edflib.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <mutex>
#include <vector>

namespace {

constexpr int kMaxAnnotationSignals = 64;
// EDFlib states a data record's duration in units of 10 µs, or in whole
// microseconds for records shorter than 10 ms.
constexpr std::int64_t kMicroRecordLimitUs = 10'000;
constexpr std::int64_t kAnnotationUnitsPerSecond = 10'000;  // EDFlib's onsets are in 100 µs

// EDFlib keeps its open files in a table of its own, which opening and
// closing change without a lock.
std::mutex& EdfLibTable() {
    static std::mutex table;
    return table;
}

// EDFlib writes a number into its 8-character field by cutting off the digits
// that do not fit, so 22351.73, held as 22351.7299999..., would come out as
// 22351.72. A few units in the last place away from zero make the cut land on
// the digits meant.
double ForHeaderField(double value) {
    const double away = value < 0 ? -INFINITY : INFINITY;
    for (int i = 0; i < 4; ++i) value = std::nextafter(value, away);
    return value;
}

class EdfWriter final : public SignalWriter {
public:
    EdfWriter(int handle, const SignalLayout& layout, int recordSamples)
        : handle_(handle),
          scales_(layout.scales),
          rate_(layout.sampleRate),
          recordSamples_(static_cast<std::size_t>(recordSamples)),
          block_(scales_.size() * recordSamples_) {}

    ~EdfWriter() override { Close(); }

    bool Write(std::span<const std::int32_t> samples) override {
        const std::size_t signals = scales_.size();
        for (std::size_t at = 0; at + signals <= samples.size(); at += signals) {
            for (std::size_t c = 0; c < signals; ++c) block_[c * recordSamples_ + filled_] = scales_[c].Digital(samples[at + c]);
            if (++filled_ < recordSamples_) continue;
            filled_ = 0;
            if (edf_blockwrite_digital_samples(handle_, block_.data()) != 0) return Fail("write failed");
        }
        return true;
    }

    bool Annotate(std::int64_t sample, const std::string& text) override {
        const std::int64_t onset = (sample * kAnnotationUnitsPerSecond * 2 + rate_) / (2 * std::int64_t{rate_});
        if (edfwrite_annotation_utf8(handle_, onset, -1, text.c_str()) != 0) return Fail("annotation refused");
        return true;
    }

    bool Finish() override {
        if (filled_ != 0) return Fail("the samples do not fill the last data record");
        return Close() ? true : Fail("write failed");
    }

    std::string Error() const override { return error_; }

private:
    bool Close() {
        if (handle_ < 0) return true;
        std::lock_guard lock(EdfLibTable());
        const bool closed = edfclose_file(handle_) == 0;
        handle_ = -1;
        return closed;
    }
    bool Fail(std::string reason) {
        error_ = std::move(reason);
        return false;
    }

    int handle_;
    std::vector<ChannelScale> scales_;
    int rate_;
    std::size_t recordSamples_;
    std::size_t filled_ = 0;
    std::vector<int> block_;  // one data record, signal after signal
    std::string error_;
};

// Everything the header holds, in EDFlib's order; false when it refuses a value.
bool SetUpHeader(int handle, const SignalLayout& layout, int recordSamples) {
    bool ok = true;
    auto set = [&ok](int status) { ok = ok && status == 0; };
    for (std::size_t c = 0; c < layout.scales.size(); ++c) {
        const int s = static_cast<int>(c);
        const ChannelScale& scale = layout.scales[c];
        set(edf_set_samplefrequency(handle, s, recordSamples));
        set(edf_set_digital_minimum(handle, s, scale.digitalMin));
        set(edf_set_digital_maximum(handle, s, scale.digitalMax));
        set(edf_set_physical_minimum(handle, s, ForHeaderField(scale.physicalMin)));
        set(edf_set_physical_maximum(handle, s, ForHeaderField(scale.physicalMax)));
        set(edf_set_label(handle, s, layout.labels[c].c_str()));
        set(edf_set_physical_dimension(handle, s, layout.unit.c_str()));
    }
    const std::int64_t durationUs = std::int64_t{recordSamples} * 1'000'000 / layout.sampleRate;
    set(durationUs < kMicroRecordLimitUs ? edf_set_micro_datarecord_duration(handle, static_cast<int>(durationUs))
                                         : edf_set_datarecord_duration(handle, static_cast<int>(durationUs / 10)));
    const std::int64_t records = layout.samples / recordSamples;
    const auto perRecord = (layout.annotations + records - 1) / records;
    set(edf_set_number_of_annotation_signals(handle, static_cast<int>(std::max<std::int64_t>(1, perRecord))));

    std::tm local{};
    localtime_r(&layout.start.tv_sec, &local);
    set(edf_set_startdatetime(handle, local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                              local.tm_min, local.tm_sec));
    set(edf_set_subsecond_starttime(handle, static_cast<int>(layout.start.tv_nsec / 100)));
    set(edf_set_equipment(handle, "Vostrel"));
    set(edf_set_recording_additional(handle, layout.note.c_str()));
    return ok;
}

}  // namespace

int DataRecordSamples(std::int64_t samples, int sampleRate, std::int64_t annotations) {
    if (samples <= 0 || sampleRate <= 0) return 0;
    for (auto length = std::min<std::int64_t>(sampleRate, samples); length >= 1; --length) {
        if (samples % length != 0) continue;
        const std::int64_t microseconds = length * 1'000'000;
        if (microseconds % sampleRate != 0) continue;
        const std::int64_t durationUs = microseconds / sampleRate;
        if (durationUs >= kMicroRecordLimitUs && durationUs % 10 != 0) continue;
        const std::int64_t records = samples / length;
        if ((annotations + records - 1) / records > kMaxAnnotationSignals) continue;
        return static_cast<int>(length);
    }
    return 0;
}

std::unique_ptr<SignalWriter> OpenEdfWriter(const std::string& path, bool bdf, const SignalLayout& layout,
                                            std::string& error) {
    const int recordSamples = DataRecordSamples(layout.samples, layout.sampleRate, layout.annotations);
    if (recordSamples == 0) {
        error = "a sample rate of " + std::to_string(layout.sampleRate) +
                " cannot be stated exactly for this many samples in EDF+ or BDF+; export to GDF";
        return nullptr;
    }
    int handle = -1;
    {
        std::lock_guard lock(EdfLibTable());
        errno = 0;
        handle = edfopen_file_writeonly(path.c_str(), bdf ? EDFLIB_FILETYPE_BDFPLUS : EDFLIB_FILETYPE_EDFPLUS,
                                        static_cast<int>(layout.scales.size()));
    }
    if (handle < 0) {
        error = errno != 0 ? std::strerror(errno) : "cannot be created";
        return nullptr;
    }
    auto writer = std::make_unique<EdfWriter>(handle, layout, recordSamples);
    if (!SetUpHeader(handle, layout, recordSamples)) {
        error = "the header cannot hold the recording's start time, labels or ranges";
        return nullptr;
    }
    return writer;
}
