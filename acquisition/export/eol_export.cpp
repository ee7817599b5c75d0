#include "acquisition/export/eol_export.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <limits>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "acquisition/electrodes/electrode_file.h"
#include "acquisition/electrodes/montage.h"
#include "acquisition/export/edf_writer.h"
#include "acquisition/export/gdf_writer.h"
#include "acquisition/recording/eol_file.h"
#include "acquisition/recording/recording_sidecar.h"
#include "common/regular_file.h"

namespace {

constexpr std::size_t kChunkRecords = 4096;
constexpr int kSignals = 16;
// The header says where the start time comes from: EOL holds none, so
// without a sidecar it is guessed. Short, as EDF+ leaves little room.
constexpr const char* kSidecarStartNote = "start: first record";
constexpr const char* kGuessedStartNote = "start: file time - duration";

// The signal slots of a record, as the montage orders them.
struct RecordLayout {
    std::array<int, kSignals> signalSlots{};
    RecordLayout() {
        const std::vector<int> columns = MontageColumns(SampleRecord::kSlotCount);
        std::copy_n(columns.begin(), kSignals, signalSlots.begin());
    }
};

// What the first reading finds: each signal's range and the events.
struct Survey {
    std::array<std::int64_t, kSignals> low{};
    std::array<std::int64_t, kSignals> high{};
    std::int64_t events = 0;
    std::vector<std::string> texts;  // distinct, in order of appearance
};

// A marker of the sidecar, at its sample.
struct Marker {
    std::int64_t sample = 0;
    std::string text;
};

void NoteText(std::vector<std::string>& texts, const std::string& text) {
    if (std::find(texts.begin(), texts.end(), text) == texts.end()) texts.push_back(text);
}

// The sidecar's markers other than the amplifier's (those the recording
// holds itself), at the sample nearest their onset within the recording.
std::vector<Marker> SidecarMarkers(const SidecarContents& sidecar, int sampleRate, std::int64_t samples) {
    std::vector<Marker> markers;
    for (const SidecarEvent& event : sidecar.events) {
        if (event.source == MarkerSource::Amplifier) continue;
        const auto sample = static_cast<std::int64_t>(std::llround(event.onsetSeconds * sampleRate));
        markers.push_back(Marker{std::clamp<std::int64_t>(sample, 0, samples - 1), event.value});
    }
    std::stable_sort(markers.begin(), markers.end(), [](const Marker& a, const Marker& b) { return a.sample < b.sample; });
    return markers;
}

// The GDF codes of the texts that are not numbers themselves.
std::vector<std::pair<std::string, int>> TextCodes(const std::vector<std::string>& texts) {
    std::vector<std::pair<std::string, int>> named;
    const auto codes = ChooseGdfEventCodes(texts);
    if (!codes) return named;
    for (const GdfEventCode& code : *codes) {
        if (code.text != std::to_string(code.code)) named.emplace_back(code.text, code.code);
    }
    return named;
}

std::timespec SidecarStart(const WallTime& start) {
    // To the whole second nearest, as the guessed start: see StartTime.
    std::timespec rounded{start.time.tv_sec + (start.time.tv_nsec >= 500'000'000 ? 1 : 0), 0};
    return rounded;
}

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

std::string SystemError() { return std::strerror(errno); }

// Reads the whole recording once, a chunk at a time; false when cancelled or
// the file cannot be read to its end.
template <class F>
bool ReadChunks(EolReader& reader, std::vector<SampleRecord>& chunk, F&& onChunk) {
    reader.Seek(0);
    std::int64_t first = 0;
    while (first < reader.RecordCount()) {
        const std::size_t n = reader.Read(chunk);
        if (n == 0) return false;
        if (!onChunk(std::span<const SampleRecord>(chunk.data(), n), first)) return false;
        first += static_cast<std::int64_t>(n);
    }
    return true;
}

std::vector<std::string> SignalLabels(const std::vector<ChannelRecord>& electrodes) {
    std::vector<std::string> labels;
    for (int c = 0; c < kSignals; ++c) {
        const std::string label = electrodes[static_cast<std::size_t>(c)].label;
        labels.push_back(label.empty() ? "Ch" + std::to_string(c + 1) : label);
    }
    return labels;
}

std::timespec StartTime(const std::string& input, std::int64_t samples, int sampleRate) {
    constexpr std::int64_t kNanoseconds = 1'000'000'000;
    struct stat info {};
    ::stat(input.c_str(), &info);
    // To the nearest second: EDF+ readers disagree on whether annotation
    // onsets count from a sub-second start or from the whole second before it.
    const std::int64_t nanoseconds = info.st_mtim.tv_nsec - (samples % sampleRate) * kNanoseconds / sampleRate;
    std::timespec start{};
    start.tv_sec = info.st_mtim.tv_sec - static_cast<std::time_t>(samples / sampleRate);
    start.tv_sec += static_cast<std::time_t>((nanoseconds + kNanoseconds / 2 + 2 * kNanoseconds) / kNanoseconds - 2);
    return start;
}

bool SameFile(const std::string& a, const std::string& b) {
    struct stat sa {}, sb {};
    return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

constexpr const char* kExists = "already exists; add --overwrite to replace it";

bool Exists(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0;
}

// The finished output to its name; without overwrite a name taken since the
// start is refused (EEXIST) rather than replaced.
bool MoveInPlace(const std::string& part, const std::string& path, bool overwrite) {
    if (overwrite) return ::rename(part.c_str(), path.c_str()) == 0;
    return ::renameat2(AT_FDCWD, part.c_str(), AT_FDCWD, path.c_str(), RENAME_NOREPLACE) == 0;
}

// A new, empty file beside path, for the output until it is complete.
std::string CreateSibling(const std::string& path) {
    const auto slash = path.rfind('/');
    const std::string dir = slash == std::string::npos ? "" : path.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string candidate =
            dir + "." + name + "." + std::to_string(::getpid()) + "." + std::to_string(attempt) + ".part";
        const int fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd >= 0) {
            ::close(fd);
            return candidate;
        }
        if (errno != EEXIST) return {};
    }
    return {};
}

class Export {
public:
    Export(const ExportRequest& request, const ExportProgress& progress) : request_(request), progress_(progress) {}

    ExportResult Run() {
        ExportResult result;
        result.status = Convert(result.summary, result.error);
        return result;
    }

private:
    ExportStatus Convert(ExportSummary& summary, std::string& error) {
        const auto format = FormatForPath(request_.output);
        if (!format) return Fail(error, request_.output, "the extension names no format (.bdf, .edf, .gdf)");
        std::string cause;
        if (!reader_.Open(request_.input, cause)) return Fail(error, request_.input, cause);
        const EolHeader& header = reader_.Header();
        if (header.channelCount != SampleRecord::kSlotCount) {
            return Fail(error, request_.input, "not an EOL recording (channel count " + std::to_string(header.channelCount) + ")");
        }
        if (header.sampleRate <= 0) {
            return Fail(error, request_.input, "sample rate " + std::to_string(header.sampleRate) + " in the header");
        }
        const std::int64_t samples = reader_.RecordCount();
        if (samples == 0) return Fail(error, request_.input, "no whole record");
        if (SameFile(request_.input, request_.output)) return Fail(error, request_.output, "is the recording itself");
        if (!request_.overwrite && Exists(request_.output)) return Fail(error, request_.output, kExists);

        if (!OpenRegularFile(request_.electrodeFile, kMaxElectrodeFileBytes, cause)) {
            return Fail(error, request_.electrodeFile, cause);
        }
        std::vector<ChannelRecord> electrodes(MontageColumns(SampleRecord::kSlotCount).size());
        ReadElectrodeLocations(electrodes, request_.electrodeFile);

        std::string sidecarError;
        const std::optional<SidecarContents> sidecar = ReadSidecar(request_.input, sidecarError);
        if (sidecar) markers_ = SidecarMarkers(*sidecar, header.sampleRate, samples);
        const std::optional<double> factor =
            request_.microvoltsPerCount ? request_.microvoltsPerCount : sidecar ? sidecar->microvoltsPerCount : std::nullopt;

        total_ = 2 * samples;
        Survey survey;
        if (!Scan(survey)) return Stopped(error);

        SignalLayout layout;
        layout.sampleRate = header.sampleRate;
        layout.samples = samples;
        layout.labels = SignalLabels(electrodes);
        layout.unit = factor ? "uV" : "count";
        layout.factor = factor.value_or(1.0);
        for (const Marker& marker : markers_) NoteText(survey.texts, marker.text);
        layout.annotations = survey.events + static_cast<std::int64_t>(markers_.size());
        layout.eventTexts = survey.texts;
        const bool sidecarStart = sidecar && sidecar->start;
        layout.start = sidecarStart ? SidecarStart(*sidecar->start) : StartTime(request_.input, samples, header.sampleRate);
        layout.note = sidecarStart ? kSidecarStartNote : kGuessedStartNote;
        if (*format != ExportFormat::Gdf) {
            const DigitalRange range = *format == ExportFormat::Bdf ? kBdfDigitalRange : kEdfDigitalRange;
            for (int c = 0; c < kSignals; ++c) {
                const auto scale = ChooseScale(survey.low[c], survey.high[c], layout.factor, range);
                if (!scale) return Fail(error, request_.output, "the physical range does not fit the header; use a smaller factor");
                layout.scales.push_back(*scale);
            }
        }

        const std::string part = CreateSibling(request_.output);
        if (part.empty()) return Fail(error, request_.output, SystemError());
        const ExportStatus status = Write(*format, layout, part, error);
        if (status != ExportStatus::Done) {
            ::unlink(part.c_str());
            return status;
        }
        if (!MoveInPlace(part, request_.output, request_.overwrite)) {
            const std::string reason = errno == EEXIST ? kExists : SystemError();
            ::unlink(part.c_str());
            return Fail(error, request_.output, reason);
        }
        summary.channels = kSignals;
        summary.samples = samples;
        summary.seconds = static_cast<double>(samples) / header.sampleRate;
        summary.annotations = layout.annotations;
        summary.trailingBytes = reader_.TrailingBytes();
        summary.startFromSidecar = sidecarStart;
        summary.microvoltsPerCount = factor;
        if (*format == ExportFormat::Gdf) summary.gdfCodes = TextCodes(layout.eventTexts);
        return ExportStatus::Done;
    }

    bool Scan(Survey& survey) {
        survey.low.fill(std::numeric_limits<std::int64_t>::max());
        survey.high.fill(std::numeric_limits<std::int64_t>::min());
        EventOnsets events;
        return ReadChunks(reader_, chunk_, [&](std::span<const SampleRecord> records, std::int64_t first) {
            for (const SampleRecord& record : records) {
                for (int c = 0; c < kSignals; ++c) {
                    const std::int64_t v = record.slots[layout_.signalSlots[c]];
                    survey.low[c] = std::min(survey.low[c], v);
                    survey.high[c] = std::max(survey.high[c], v);
                }
            }
            events.Scan(records, first, [&](std::int64_t, std::int32_t code) {
                ++survey.events;
                NoteText(survey.texts, std::to_string(code));
            });
            return Advance(records.size());
        });
    }

    ExportStatus Write(ExportFormat format, const SignalLayout& layout, const std::string& path, std::string& error) {
        std::string cause;
        const std::unique_ptr<SignalWriter> writer =
            format == ExportFormat::Gdf ? OpenGdfWriter(path, layout, cause)
                                        : OpenEdfWriter(path, format == ExportFormat::Bdf, layout, cause);
        if (!writer) return Fail(error, request_.output, cause);
        EventOnsets events;
        std::vector<std::int32_t> samples;
        bool written = true;
        const bool read = ReadChunks(reader_, chunk_, [&](std::span<const SampleRecord> records, std::int64_t first) {
            samples.clear();
            for (const SampleRecord& record : records) {
                for (int slot : layout_.signalSlots) samples.push_back(record.slots[slot]);
            }
            written = writer->Write(samples);
            events.Scan(records, first, [&](std::int64_t sample, std::int32_t code) {
                written = written && writer->Annotate(sample, std::to_string(code));
            });
            return written && Advance(records.size());
        });
        for (const Marker& marker : markers_) written = written && writer->Annotate(marker.sample, marker.text);
        if (!written) return Fail(error, request_.output, writer->Error());
        if (!read) return Stopped(error);
        if (!writer->Finish()) return Fail(error, request_.output, writer->Error());
        return ExportStatus::Done;
    }

    bool Advance(std::size_t records) {
        done_ += static_cast<std::int64_t>(records);
        cancelled_ = progress_ && !progress_(done_, total_);
        return !cancelled_;
    }

    // A reading that stopped early: cancelled, or the file could not be read.
    ExportStatus Stopped(std::string& error) {
        if (cancelled_) return ExportStatus::Cancelled;
        return Fail(error, request_.input, "read failed");
    }

    static ExportStatus Fail(std::string& error, const std::string& file, const std::string& reason) {
        error = file + ": " + reason;
        return ExportStatus::Failed;
    }

    const ExportRequest& request_;
    const ExportProgress& progress_;
    EolReader reader_;
    std::vector<SampleRecord> chunk_ = std::vector<SampleRecord>(kChunkRecords);
    RecordLayout layout_;
    std::vector<Marker> markers_;
    std::int64_t done_ = 0;
    std::int64_t total_ = 0;
    bool cancelled_ = false;
};

}  // namespace

std::optional<ExportFormat> FormatForPath(const std::string& path) {
    const auto dot = path.rfind('.');
    if (dot == std::string::npos || path.find('/', dot) != std::string::npos) return std::nullopt;
    const std::string extension = Lower(path.substr(dot + 1));
    if (extension == "bdf") return ExportFormat::Bdf;
    if (extension == "edf") return ExportFormat::Edf;
    if (extension == "gdf") return ExportFormat::Gdf;
    return std::nullopt;
}

ExportResult ExportRecording(const ExportRequest& request, const ExportProgress& progress) {
    return Export(request, progress).Run();
}

std::string ProposedOutput(const std::string& recording) {
    if (recording.empty()) return {};
    const auto slash = recording.rfind('/');
    const auto dot = recording.rfind('.');
    const bool hasExtension = dot != std::string::npos && (slash == std::string::npos || dot > slash);
    return (hasExtension ? recording.substr(0, dot) : recording) + ".bdf";
}
