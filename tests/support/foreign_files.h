#pragma once
// Small EDF, BDF and GDF files built byte by byte, well formed or lying in
// one field, for the tests of the foreign-recording reader and its users.

#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

struct EdfFields {
    bool bdf = false;
    int signals = 2;
    std::string signalsText;        // overrides signals in the header when set
    std::string headerBytesText;    // default: 256 × (signals + 1)
    std::string recordsText = "1";
    std::string durationText = "1";
    std::vector<std::string> samplesPerRecord;  // default: "4" each
    std::size_t totalBytes = 0;     // default: the header and the declared records
};

inline void PutText(std::vector<std::uint8_t>& bytes, std::size_t at, std::size_t width, const std::string& text) {
    std::memset(bytes.data() + at, ' ', width);
    std::memcpy(bytes.data() + at, text.data(), std::min(width, text.size()));
}

inline std::vector<std::uint8_t> EdfBytes(const EdfFields& f) {
    const std::size_t ns = static_cast<std::size_t>(f.signals);
    const std::size_t header = 256 * (ns + 1);
    std::vector<std::string> spr = f.samplesPerRecord;
    spr.resize(ns, "4");
    std::size_t recordBytes = 0;
    for (const std::string& s : spr) recordBytes += static_cast<std::size_t>(std::atoll(s.c_str())) * (f.bdf ? 3 : 2);
    const std::size_t size = f.totalBytes ? f.totalBytes : header + recordBytes * static_cast<std::size_t>(std::max(0LL, std::atoll(f.recordsText.c_str())));
    std::vector<std::uint8_t> bytes(std::max(size, header), ' ');
    if (f.bdf) {
        bytes[0] = 0xff;
        PutText(bytes, 1, 7, "BIOSEMI");
    } else {
        PutText(bytes, 0, 8, "0");
    }
    PutText(bytes, 8, 80, "X X X X");
    PutText(bytes, 88, 80, "Startdate 01-JAN-2020 X X X");
    PutText(bytes, 168, 8, "01.01.20");
    PutText(bytes, 176, 8, "10.00.00");
    PutText(bytes, 184, 8, f.headerBytesText.empty() ? std::to_string(header) : f.headerBytesText);
    PutText(bytes, 192, 44, f.bdf ? "24BIT" : "");
    PutText(bytes, 236, 8, f.recordsText);
    PutText(bytes, 244, 8, f.durationText);
    PutText(bytes, 252, 4, f.signalsText.empty() ? std::to_string(ns) : f.signalsText);
    const std::size_t t = 256;
    for (std::size_t s = 0; s < ns; ++s) {
        PutText(bytes, t + 16 * s, 16, "Ch" + std::to_string(s + 1));
        PutText(bytes, t + 96 * ns + 8 * s, 8, "uV");
        PutText(bytes, t + 104 * ns + 8 * s, 8, "-1000");
        PutText(bytes, t + 112 * ns + 8 * s, 8, "1000");
        PutText(bytes, t + 120 * ns + 8 * s, 8, f.bdf ? "-8388608" : "-32768");
        PutText(bytes, t + 128 * ns + 8 * s, 8, f.bdf ? "8388607" : "32767");
        PutText(bytes, t + 216 * ns + 8 * s, 8, spr[s]);
    }
    for (std::size_t i = header; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i * 7);
    bytes.resize(size);
    return bytes;
}

struct GdfFields {
    int version = 2;                  // 1: GDF 1.25, 2: GDF 2.20
    std::uint32_t signals = 2;        // as declared
    int signalTable = 2;              // signal entries actually written
    std::optional<std::int64_t> headerBytes;  // default: 256 × (table + 1)
    std::int64_t records = 1;
    std::uint32_t durationNumerator = 1;
    std::uint32_t durationDenominator = 1;
    std::uint32_t samplesPerRecord = 4;
    std::uint32_t dataType = 3;       // int16
    std::int64_t events = -1;         // an event table of this many declared events, with none written
    std::size_t totalBytes = 0;       // default: header, records and event table
};

template <class T>
void PutLittle(std::vector<std::uint8_t>& bytes, std::size_t at, T value) {
    std::memcpy(bytes.data() + at, &value, sizeof value);
}

inline std::vector<std::uint8_t> GdfBytes(const GdfFields& f) {
    const std::size_t ns = static_cast<std::size_t>(f.signalTable);
    const std::size_t header = 256 * (ns + 1);
    const std::size_t sampleBytes = f.dataType == 3 ? 2 : 4;
    const std::size_t data = static_cast<std::size_t>(std::max<std::int64_t>(f.records, 0)) * ns * f.samplesPerRecord * sampleBytes;
    const std::size_t events = f.events >= 0 ? 8 : 0;
    const std::size_t size = f.totalBytes ? f.totalBytes : header + std::min<std::size_t>(data, 1 << 20) + events;
    std::vector<std::uint8_t> bytes(std::max(size, header), 0);
    std::memcpy(bytes.data(), f.version == 1 ? "GDF 1.25" : "GDF 2.20", 8);
    const std::int64_t headerBytes = f.headerBytes.value_or(static_cast<std::int64_t>(header));
    if (f.version == 1) {
        PutLittle<std::int64_t>(bytes, 184, headerBytes);
        PutLittle<std::uint32_t>(bytes, 252, f.signals);
    } else {
        PutLittle<std::uint16_t>(bytes, 184, static_cast<std::uint16_t>(headerBytes / 256));
        PutLittle<std::uint16_t>(bytes, 252, static_cast<std::uint16_t>(f.signals));
    }
    PutLittle<std::int64_t>(bytes, 236, f.records);
    PutLittle<std::uint32_t>(bytes, 244, f.durationNumerator);
    PutLittle<std::uint32_t>(bytes, 248, f.durationDenominator);
    const std::size_t t = 256;
    for (std::size_t s = 0; s < ns; ++s) {
        std::memcpy(bytes.data() + t + 16 * s, "Ch", 2);
        bytes[t + 16 * s + 2] = static_cast<std::uint8_t>('1' + s % 9);
        if (f.version == 1) {
            std::memcpy(bytes.data() + t + 96 * ns + 8 * s, "uV", 2);
            PutLittle<double>(bytes, t + 104 * ns + 8 * s, -1000.0);
            PutLittle<double>(bytes, t + 112 * ns + 8 * s, 1000.0);
            PutLittle<std::int64_t>(bytes, t + 120 * ns + 8 * s, -32768);
            PutLittle<std::int64_t>(bytes, t + 128 * ns + 8 * s, 32767);
        } else {
            std::memcpy(bytes.data() + t + 96 * ns + 6 * s, "uV", 2);
            PutLittle<std::uint16_t>(bytes, t + 102 * ns + 2 * s, 4275);  // uV
            PutLittle<double>(bytes, t + 104 * ns + 8 * s, -1000.0);
            PutLittle<double>(bytes, t + 112 * ns + 8 * s, 1000.0);
            PutLittle<double>(bytes, t + 120 * ns + 8 * s, -32768.0);
            PutLittle<double>(bytes, t + 128 * ns + 8 * s, 32767.0);
        }
        PutLittle<std::uint32_t>(bytes, t + 216 * ns + 4 * s, f.samplesPerRecord);
        PutLittle<std::uint32_t>(bytes, t + 220 * ns + 4 * s, f.dataType);
    }
    if (f.events >= 0 && bytes.size() >= header + data + 8) {
        const std::size_t at = header + data;
        bytes[at] = 1;
        if (f.version == 1) {
            PutLittle<std::uint32_t>(bytes, at + 4, static_cast<std::uint32_t>(f.events));
        } else {
            bytes[at + 1] = static_cast<std::uint8_t>(f.events);
            bytes[at + 2] = static_cast<std::uint8_t>(f.events >> 8);
            bytes[at + 3] = static_cast<std::uint8_t>(f.events >> 16);
            PutLittle<float>(bytes, at + 4, 256.0f);
        }
    }
    bytes.resize(size);
    return bytes;
}

struct MalformedForeignFile {
    const char* name;
    const char* extension;
    std::vector<std::uint8_t> bytes;
    const char* field;  // named in the refusal
};

// Files that lie in their header, each in one field; libbiosig crashed, hung
// or asked for gigabytes on the first five.
inline std::vector<MalformedForeignFile> MalformedForeignFiles() {
    std::vector<MalformedForeignFile> files;
    files.push_back({"edf_9999_signals", ".edf", EdfBytes({.signalsText = "9999", .totalBytes = 768}), "number of signals"});
    files.push_back({"gdf_signals_0x7fffffff", ".gdf", GdfBytes({.version = 1, .signals = 0x7fffffff}), "number of signals"});
    files.push_back({"edf_huge_samples_per_record", ".edf",
                     EdfBytes({.samplesPerRecord = {"99999999", "4"}, .totalBytes = 768}), "samples per record"});
    files.push_back({"gdf_huge_samples_per_record", ".gdf",
                     GdfBytes({.samplesPerRecord = 0x7fffffff, .totalBytes = 768}), "samples per record"});
    files.push_back({"edf_99999999_records", ".edf", EdfBytes({.recordsText = "99999999", .totalBytes = 11000}),
                     "number of records"});
    files.push_back({"bdf_more_records_than_held", ".bdf", EdfBytes({.bdf = true, .recordsText = "3", .totalBytes = 800}),
                     "number of records"});
    files.push_back({"edf_header_length_lies", ".edf", EdfBytes({.headerBytesText = "512"}), "header length"});
    files.push_back({"edf_no_signals", ".edf", EdfBytes({.signalsText = "0"}), "number of signals"});
    files.push_back({"edf_signals_not_a_number", ".edf", EdfBytes({.signalsText = "2x"}), "number of signals"});
    files.push_back({"edf_zero_duration", ".edf", EdfBytes({.durationText = "0"}), "record duration"});
    files.push_back({"edf_negative_samples", ".edf", EdfBytes({.samplesPerRecord = {"-4", "4"}}), "samples per record"});
    files.push_back({"edf_rates_without_common_record", ".edf",
                     EdfBytes({.signals = 3, .samplesPerRecord = {"999983", "999979", "4"}, .totalBytes = 1024}),
                     "samples per record"});
    files.push_back({"gdf_header_longer_than_file", ".gdf", GdfBytes({.headerBytes = 256 * 200}), "header length"});
    files.push_back({"gdf1_negative_header_length", ".gdf", GdfBytes({.version = 1, .headerBytes = -256}), "header length"});
    files.push_back({"gdf_zero_duration_denominator", ".gdf", GdfBytes({.durationDenominator = 0}), "record duration"});
    files.push_back({"gdf_unknown_data_type", ".gdf", GdfBytes({.dataType = 999}), "data type"});
    files.push_back({"gdf_negative_records", ".gdf", GdfBytes({.records = -5}), "number of records"});
    files.push_back({"gdf_signal_table_cut_short", ".gdf", GdfBytes({.signals = 40, .totalBytes = 900}), "number of signals"});
    files.push_back({"gdf_event_count_lies", ".gdf", GdfBytes({.events = 0xffffff}), "number of events"});
    files.push_back({"gdf1_event_count_lies", ".gdf", GdfBytes({.version = 1, .events = 0x7fffffff}), "number of events"});
    {
        // An annotation signal whose last record holds no zero byte: libbiosig
        // would read its annotations past their buffer.
        std::vector<std::uint8_t> annotated = EdfBytes({.bdf = true, .recordsText = "2"});
        PutText(annotated, 256 + 16, 16, "BDF Annotations");
        files.push_back({"bdf_annotations_without_end", ".bdf", annotated, "annotations"});
    }
    {
        // Text in a free field that makes libbiosig take the file for another format.
        std::vector<std::uint8_t> alpha = EdfBytes({.bdf = true});
        std::memcpy(alpha.data() + 20, "ALPHA-TRACE-MEDICAL", 19);
        files.push_back({"bdf_named_another_format", ".bdf", alpha, "version"});
        std::vector<std::uint8_t> acr = GdfBytes({});
        std::memcpy(acr.data() + 20, "ACR-NEMA", 8);
        files.push_back({"gdf_named_another_format", ".gdf", acr, "version"});
    }
    {
        std::vector<std::uint8_t> binary = EdfBytes({.bdf = true});
        binary[178] = 0;  // in the start time
        files.push_back({"bdf_binary_in_the_header", ".bdf", binary, "header"});
    }
    files.push_back({"shorter_than_a_header", ".edf", std::vector<std::uint8_t>(100, '0'), "header"});
    files.push_back({"empty", ".bdf", {}, "header"});
    files.push_back({"text", ".gdf", std::vector<std::uint8_t>(300, 'a'), "version"});
    return files;
}
