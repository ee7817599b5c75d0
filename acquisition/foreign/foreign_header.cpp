#include "acquisition/foreign/foreign_header.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <numeric>
#include <string_view>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include "common/regular_file.h"

namespace {

constexpr std::size_t kFixedBytes = 256;
constexpr std::size_t kSignalBytes = 256;

std::string_view Field(std::span<const std::uint8_t> bytes, std::size_t at, std::size_t length) {
    return {reinterpret_cast<const char*>(bytes.data()) + at, length};
}

std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\0')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\0')) text.remove_suffix(1);
    return text;
}

bool TextInteger(std::string_view text, std::int64_t& value) {
    text = Trimmed(text);
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    const auto [end, failure] = std::from_chars(text.data(), text.data() + text.size(), value);
    return !text.empty() && failure == std::errc() && end == text.data() + text.size();
}

bool TextNumber(std::string_view text, double& value) {
    text = Trimmed(text);
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    const auto [end, failure] = std::from_chars(text.data(), text.data() + text.size(), value);
    return !text.empty() && failure == std::errc() && end == text.data() + text.size();
}

template <class T>
T Little(std::span<const std::uint8_t> bytes, std::size_t at) {
    T value{};
    std::memcpy(&value, bytes.data() + at, sizeof value);  // the formats and this machine are little-endian
    return value;
}

// Bytes of one sample of a GDF data type; 0 for a type we do not read.
int GdfSampleBytes(std::uint32_t type) {
    switch (type) {
    case 1: case 2: return 1;
    case 3: case 4: return 2;
    case 5: case 6: case 16: return 4;
    case 7: case 8: case 17: return 8;
    default: return 0;
    }
}

class Check {
public:
    Check(std::span<const std::uint8_t> header, std::int64_t fileBytes, ForeignLayout& layout, std::string& error)
        : header_(header), fileBytes_(fileBytes), layout_(layout), error_(error) {}

    bool Run() {
        layout_.samplesPerRecord = 1;  // the common multiple grows from here
        if (header_.size() < kFixedBytes) return Refuse("header", "the file is shorter than a header (256 bytes)");
        const std::string_view version = Field(header_, 0, 8);
        if (version == std::string_view("0       ", 8)) return Edf(ForeignFormat::Edf, 2);
        if (header_[0] == 0xff && Field(header_, 1, 7) == "BIOSEMI") return Edf(ForeignFormat::Bdf, 3);
        if (version.starts_with("GDF 1.")) return Gdf(ForeignFormat::Gdf1);
        if (version.starts_with("GDF 2.")) return Gdf(ForeignFormat::Gdf2);
        return Refuse("version", "not an EDF, BDF or GDF file");
    }

private:
    bool Refuse(const std::string& field, const std::string& why) {
        error_ = field + ": " + why;
        return false;
    }

    bool Signals(std::int64_t count) {
        if (count < 1 || count > kMaxForeignSignals)
            return Refuse("number of signals", std::to_string(count) + ", not 1 to " + std::to_string(kMaxForeignSignals));
        layout_.signals = static_cast<int>(count);
        const std::size_t table = kFixedBytes + kSignalBytes * static_cast<std::size_t>(count);
        if (static_cast<std::int64_t>(table) > fileBytes_ || header_.size() < table)
            return Refuse("number of signals", std::to_string(count) + " signals need a header of " + std::to_string(table) +
                                                   " bytes; the file has " + std::to_string(fileBytes_));
        return true;
    }

    bool HeaderBytes(std::int64_t bytes) {
        const auto least = static_cast<std::int64_t>(kFixedBytes + kSignalBytes * static_cast<std::size_t>(layout_.signals));
        if (bytes < least || bytes > fileBytes_)
            return Refuse("header length", std::to_string(bytes) + " bytes, not " + std::to_string(least) + " to the file's " +
                                               std::to_string(fileBytes_));
        layout_.headerBytes = bytes;
        return true;
    }

    // An annotation channel's samples are text, never decoded to values, so
    // its length takes no part in the common record length.
    bool SamplesPerRecord(int signal, std::int64_t samples, int sampleBytes, bool annotations = false) {
        if (samples < 1 || samples > kMaxSamplesPerRecord)
            return Refuse("samples per record of signal " + std::to_string(signal + 1),
                          std::to_string(samples) + ", not 1 to " + std::to_string(kMaxSamplesPerRecord));
        layout_.recordBytes += samples * sampleBytes;
        if (!annotations) layout_.samplesPerRecord = std::lcm(layout_.samplesPerRecord, samples);
        if (layout_.samplesPerRecord > kMaxSamplesPerRecord)
            return Refuse("samples per record", "the signals' rates have no common record length below " +
                                                    std::to_string(kMaxSamplesPerRecord));
        return true;
    }

    // The records declared (or -1: as many as the file holds) against the file,
    // and what decoding them would take.
    bool Records(std::int64_t declared) {
        const std::int64_t room = fileBytes_ - layout_.headerBytes;
        const std::int64_t held = room / layout_.recordBytes;
        if (declared == -1) declared = held;
        if (declared < 0 || declared > held)
            return Refuse("number of records", std::to_string(declared) + " declared; the file holds " + std::to_string(held));
        layout_.records = declared;
        const double decoded = static_cast<double>(declared) * static_cast<double>(layout_.samplesPerRecord) *
                               layout_.signals * static_cast<double>(sizeof(double));
        const double allowed = std::min<double>(static_cast<double>(kMaxDecodedBytes),
                                                static_cast<double>(kDecodedPerFileByte) * fileBytes_ + (1 << 20));
        if (decoded > allowed)
            return Refuse("samples per record", "decoding would take " + std::to_string(std::llround(decoded / (1 << 20))) +
                                                    " MB for a file of " + std::to_string(fileBytes_) + " bytes");
        return true;
    }

    bool RecordSeconds(double seconds) {
        if (!(seconds > 0.0) || seconds > 1.0e6) return Refuse("record duration", "not a positive number of seconds");
        layout_.recordSeconds = seconds;
        return true;
    }

    // The format allows only printable ASCII in its header; libbiosig's
    // parsing of the text fields is not safe with anything else.
    bool PrintableText(std::size_t from, std::size_t to) {
        for (std::size_t i = from; i < to; ++i)
            if (header_[i] < 0x20 || header_[i] > 0x7e)
                return Refuse("header", "a byte that is not printable ASCII at offset " + std::to_string(i));
        return true;
    }

    bool Edf(ForeignFormat format, int sampleBytes) {
        layout_.format = format;
        std::int64_t signals = 0, bytes = 0, records = 0;
        double seconds = 0.0;
        const std::size_t first = format == ForeignFormat::Bdf ? 1 : 0;  // BDF's first byte is 0xff
        if (!PrintableText(first, kFixedBytes)) return false;
        if (!TextInteger(Field(header_, 252, 4), signals)) return Refuse("number of signals", "not a number");
        if (!Signals(signals)) return false;
        if (!PrintableText(kFixedBytes, kFixedBytes + kSignalBytes * static_cast<std::size_t>(signals))) return false;
        if (!TextInteger(Field(header_, 184, 8), bytes)) return Refuse("header length", "not a number");
        if (bytes != static_cast<std::int64_t>(kFixedBytes + kSignalBytes * static_cast<std::size_t>(signals)))
            return Refuse("header length", std::to_string(bytes) + " bytes for " + std::to_string(signals) + " signals");
        if (!HeaderBytes(bytes)) return false;
        if (!TextNumber(Field(header_, 244, 8), seconds) || !RecordSeconds(seconds)) return Refuse("record duration", "not a positive number");
        const std::size_t sprAt = kFixedBytes + 216 * static_cast<std::size_t>(signals);
        for (int s = 0; s < signals; ++s) {
            std::int64_t samples = 0;
            if (!TextInteger(Field(header_, sprAt + 8 * static_cast<std::size_t>(s), 8), samples))
                return Refuse("samples per record of signal " + std::to_string(s + 1), "not a number");
            const std::string_view label = Trimmed(Field(header_, kFixedBytes + 16 * static_cast<std::size_t>(s), 16));
            const bool annotations = label == "EDF Annotations" || label == "BDF Annotations";
            if (!SamplesPerRecord(s, samples, sampleBytes, annotations)) return false;
            if (annotations) layout_.annotationEnds.push_back(layout_.recordBytes);
        }
        if (!TextInteger(Field(header_, 236, 8), records)) return Refuse("number of records", "not a number");
        // libbiosig reads an EDF's or BDF's count of 0 as unknown too, and
        // reads what the file holds: the checks of the records must see them.
        // (A GDF's 0 it takes at its word, and looks for events right after
        // the header.)
        return Records(records == 0 ? -1 : records);
    }

    bool Gdf(ForeignFormat format) {
        layout_.format = format;
        const bool one = format == ForeignFormat::Gdf1;
        const std::int64_t signals = one ? Little<std::uint32_t>(header_, 252) : Little<std::uint16_t>(header_, 252);
        if (!Signals(signals)) return false;
        const std::int64_t bytes = one ? Little<std::int64_t>(header_, 184) : std::int64_t{Little<std::uint16_t>(header_, 184)} * 256;
        if (!HeaderBytes(bytes)) return false;
        // libbiosig trusts the lengths of the tags in GDF 2's third header
        // and reads past its buffer: a file with one is not read.
        if (!one && bytes > static_cast<std::int64_t>(kFixedBytes + kSignalBytes * static_cast<std::size_t>(signals)))
            return Refuse("header length", "a third header of tags (" + std::to_string(bytes) + " bytes of header for " +
                                               std::to_string(signals) + " signals) is not read");
        const auto numerator = Little<std::uint32_t>(header_, 244);
        const auto denominator = Little<std::uint32_t>(header_, 248);
        if (denominator == 0 || !RecordSeconds(static_cast<double>(numerator) / denominator))
            return Refuse("record duration", std::to_string(numerator) + "/" + std::to_string(denominator) + " s");
        const std::size_t sprAt = kFixedBytes + 216 * static_cast<std::size_t>(signals);
        const std::size_t typeAt = kFixedBytes + 220 * static_cast<std::size_t>(signals);
        for (int s = 0; s < signals; ++s) {
            const auto type = Little<std::uint32_t>(header_, typeAt + 4 * static_cast<std::size_t>(s));
            const int sampleBytes = GdfSampleBytes(type);
            if (sampleBytes == 0) return Refuse("data type of signal " + std::to_string(s + 1), std::to_string(type) + " is not read");
            if (!SamplesPerRecord(s, Little<std::uint32_t>(header_, sprAt + 4 * static_cast<std::size_t>(s)), sampleBytes))
                return false;
        }
        return Records(Little<std::int64_t>(header_, 236));
    }

    std::span<const std::uint8_t> header_;
    std::int64_t fileBytes_;
    ForeignLayout& layout_;
    std::string& error_;
};

// libbiosig does not take the format from the magic number alone: it tries
// other formats first, some by text at fixed places of what are an EDF's or
// GDF's free-text fields, some by text anywhere in the file's first 4 KiB
// (up to its first zero byte). A header that would make it read the file as
// another format, past what was checked here, is refused.
bool NamesAnotherFormat(std::span<const std::uint8_t> head, ForeignFormat format) {
    const std::string_view all(reinterpret_cast<const char*>(head.data()), std::min<std::size_t>(head.size(), 4096));
    const std::string_view text = all.substr(0, all.find('\0'));
    const auto at = [&](std::size_t offset, std::string_view magic) {
        return offset <= all.size() && all.substr(offset).starts_with(magic);
    };
    using namespace std::string_view_literals;
    constexpr std::string_view dicom = "\x08\x00\x05\x00\x0a\x00\x00\x00ISO_IR 100"sv;
    if (at(20, "ACR-NEMA")) return true;
    if (text.find("ALPHA-TRACE-MEDICAL") != std::string_view::npos) return true;
    if (format == ForeignFormat::Bdf) return false;
    if (at(34, "BLSC") || at(307, "E\0\0\0\0\0\0\0DAT"sv) || at(128, "DICM\x02\0\0\0"sv) || at(12, dicom.substr(0, 8)))
        return true;
    if (format == ForeignFormat::Edf) return false;
    const auto has = [&](std::string_view word) { return text.find(word) != std::string_view::npos; };
    return at(0x30, "GALNT EEG DATA") ||
           (has("Subject") && has("Target.OnsetTime") && has("Target.RTTime") && has("Target.RESP"));
}

// GDF's event table follows the records; the count it declares must fit the
// rest of the file, at the size of an event its mode byte says (as libbiosig
// reads it: 6 bytes, 12 with channel and duration, 8 more with time stamps),
// or libbiosig allocates and reads as it says, and goes on with what it has.
bool CheckEventTable(int fd, std::int64_t fileBytes, const ForeignLayout& layout, std::string& error) {
    if (layout.format != ForeignFormat::Gdf1 && layout.format != ForeignFormat::Gdf2) return true;
    const std::int64_t at = layout.headerBytes + layout.records * layout.recordBytes;
    std::uint8_t head[8] = {};
    if (at + 8 > fileBytes || ::pread(fd, head, sizeof head, at) != static_cast<ssize_t>(sizeof head)) return true;
    const std::int64_t count = layout.format == ForeignFormat::Gdf1
                                   ? Little<std::uint32_t>(head, 4)
                                   : head[1] | (head[2] << 8) | (head[3] << 16);
    const std::int64_t eventBytes = ((head[0] & 2) ? 12 : 6) + ((head[0] & 4) ? 8 : 0);
    if (count * eventBytes > fileBytes - at - 8) {
        error = "number of events: " + std::to_string(count) + " declared; the file holds " +
                std::to_string((fileBytes - at - 8) / eventBytes);
        return false;
    }
    // Events of type 0x7fff carry samples that libbiosig's reading writes into
    // a channel the event names, trusting the channel (or a channel table the
    // mode says is absent): such files are not read.
    std::vector<std::uint16_t> types(static_cast<std::size_t>(count));
    const auto typeBytes = static_cast<ssize_t>(types.size() * sizeof(std::uint16_t));
    if (::pread(fd, types.data(), static_cast<std::size_t>(typeBytes), at + 8 + 4 * count) != typeBytes) return true;
    if (std::find(types.begin(), types.end(), 0x7fff) != types.end()) {
        error = "events: sparse samples (type 0x7fff) are not read";
        return false;
    }
    return true;
}

// Each record's annotations end in a zero byte, as every annotation does.
// libbiosig reads all records' annotations as one string and trusts that it
// ends before its buffer does; it does when the last record's does.
bool CheckAnnotationEnds(int fd, const ForeignLayout& layout, std::string& error) {
    if (layout.records == 0) return true;
    const std::int64_t lastRecord = layout.headerBytes + (layout.records - 1) * layout.recordBytes;
    for (const std::int64_t end : layout.annotationEnds) {
        std::uint8_t last = 1;
        if (::pread(fd, &last, 1, lastRecord + end - 1) != 1 || last != 0) {
            error = "annotations: the last record's do not end in a zero byte";
            return false;
        }
    }
    return true;
}

}  // namespace

bool CheckForeignHeader(std::span<const std::uint8_t> header, std::int64_t fileBytes, ForeignLayout& layout,
                        std::string& error) {
    layout = {};
    return Check(header, fileBytes, layout, error).Run();
}

bool CheckForeignFile(const std::string& path, ForeignLayout& layout, std::string& error) {
    std::string cause;
    const UniqueFd fd = OpenRegularFile(path, kUnboundedFileSize, cause);
    if (!fd) {
        error = path + ": " + cause;
        return false;
    }
    struct stat info {};
    if (::fstat(fd.Get(), &info) != 0) {
        error = path + ": cannot be read";
        return false;
    }
    // At least the first 4 KiB, which libbiosig looks at to guess the format.
    const std::size_t wanted = std::min<std::int64_t>(info.st_size, kFixedBytes + kSignalBytes * kMaxForeignSignals);
    std::vector<std::uint8_t> head(wanted);
    if (::pread(fd.Get(), head.data(), head.size(), 0) != static_cast<ssize_t>(head.size())) {
        error = path + ": cannot be read";
        return false;
    }
    if (CheckForeignHeader(head, info.st_size, layout, cause) && CheckEventTable(fd.Get(), info.st_size, layout, cause) &&
        CheckAnnotationEnds(fd.Get(), layout, cause)) {
        if (!NamesAnotherFormat(head, layout.format)) return true;
        cause = "version: the header's text makes it another format to libbiosig";
    }
    error = path + ": " + cause;
    return false;
}
