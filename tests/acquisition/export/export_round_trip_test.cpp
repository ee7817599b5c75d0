// A few seconds recorded from the amplifier emulator, exported to each format
// and read back through libbiosig, a reader independent of the writers.

#include <gtest/gtest.h>

#include <biosig.h>

#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <fstream>
#include <optional>
#include <sstream>

#include "acquisition/engine/acquisition_engine.h"
#include "acquisition/export/eol_export.h"
#include "acquisition/export/gdf_writer.h"
#include "acquisition/usb/emulated_bridge.h"
#include "acquisition/usb/usb_amplifier.h"
#include "support/temp_dir.h"

namespace {

constexpr std::size_t kRecordedPackets = 200;  // 8 s at the defaults: the emulator's events fall in it

class PacketCounter : public WaveView {
public:
    void SetUp(int, int, int, std::span<const ChannelRecord>) override {}
    void SetChannelFlags(std::span<const int>) override {}
    void ResetTimeLabels() override {}
    void SetRecordingPen(bool) override {}
    void AddPacket(std::span<const double>, std::chrono::steady_clock::time_point) override {
        {
            std::lock_guard lock(mutex_);
            ++count_;
        }
        wake_.notify_all();
    }
    bool WaitFor(std::size_t n) {
        std::unique_lock lock(mutex_);
        return wake_.wait_for(lock, std::chrono::seconds(60), [&] { return count_ >= n; });
    }
    std::size_t Count() {
        std::lock_guard lock(mutex_);
        return count_;
    }

private:
    std::mutex mutex_;
    std::condition_variable wake_;
    std::size_t count_ = 0;
};

// Records from the emulator the way Vostrel does, on a clock that takes no real time.
void RecordFromEmulator(const std::string& path) {
    std::ostringstream diagnostics;
    UsbAmplifier amplifier(std::make_unique<EmulatedBridge>(EmulatorOptions{}, EmulatorFaults{}, std::make_unique<ManualClock>()),
                           diagnostics);
    FilePlaybackSource playback;
    PacketCounter wave;
    AcquisitionEngine engine(playback, amplifier, EnginePorts{nullptr, &wave, nullptr, nullptr});
    engine.StartWaveform();
    ASSERT_TRUE(engine.OpenRecording(path));
    ASSERT_TRUE(wave.WaitFor(wave.Count() + kRecordedPackets));
    engine.StopAcquisition();
}

struct Recording {
    int sampleRate = 0;
    std::vector<std::array<std::int32_t, 16>> signals;
    std::vector<std::pair<std::uint32_t, std::string>> events;  // sample, code
};

Recording ReadEol(const std::string& path) {
    Recording recording;
    EolReader reader;
    std::string error;
    EXPECT_TRUE(reader.Open(path, error)) << error;
    recording.sampleRate = reader.Header().sampleRate;
    std::vector<SampleRecord> records(static_cast<std::size_t>(reader.RecordCount()));
    EXPECT_EQ(reader.Read(records), records.size());
    std::int32_t previous = 0;
    for (std::size_t s = 0; s < records.size(); ++s) {
        auto& row = recording.signals.emplace_back();
        for (int c = 0; c < 16; ++c) row[c] = records[s].slots[SampleRecord::kSignalSlots[c]];
        const std::int32_t event = records[s].slots[SampleRecord::kEventSlot];
        if (event != previous && event != 0) recording.events.emplace_back(s, std::to_string(event));
        previous = event;
    }
    return recording;
}

struct ReadBack {
    double sampleRate = 0;
    std::vector<std::string> labels;
    std::vector<std::string> units;
    std::vector<double> step;  // physical units per digital step
    std::vector<std::vector<double>> samples;  // per channel
    std::vector<std::pair<std::uint32_t, std::string>> events;
};

ReadBack ReadWithBiosig(const std::string& path) {
    ReadBack back;
    HDRTYPE* hdr = sopen(path.c_str(), "r", nullptr);
    if (biosig_check_error(hdr)) {
        ADD_FAILURE() << "libbiosig cannot open " << path;
        destructHDR(hdr);
        return back;
    }
    back.sampleRate = hdr->SampleRate;
    std::vector<int> shown;
    for (int k = 0; k < hdr->NS; ++k) {
        const std::string label = hdr->CHANNEL[k].Label;
        hdr->CHANNEL[k].OnOff = label.find("Annotations") == std::string::npos;
        if (!hdr->CHANNEL[k].OnOff) continue;
        back.labels.push_back(label);
        back.units.push_back(PhysDim3(hdr->CHANNEL[k].PhysDimCode));
        back.step.push_back(hdr->CHANNEL[k].Cal);
    }
    const auto rows = static_cast<std::size_t>(hdr->NRec) * hdr->SPR;
    std::vector<double> data(rows * back.labels.size());
    EXPECT_EQ(sread(data.data(), 0, static_cast<std::size_t>(hdr->NRec), hdr), static_cast<std::size_t>(hdr->NRec));
    for (std::size_t c = 0; c < back.labels.size(); ++c) back.samples.emplace_back(data.begin() + c * rows, data.begin() + (c + 1) * rows);
    for (std::uint32_t e = 0; e < hdr->EVENT.N; ++e) {
        const auto type = hdr->EVENT.TYP[e];
        // GDF events are bare codes (see gdf_writer.h); EDF+ texts come through the table.
        back.events.emplace_back(hdr->EVENT.POS[e], hdr->TYPE == GDF ? std::to_string(type)
                                                    : type < hdr->EVENT.LenCodeDesc ? hdr->EVENT.CodeDesc[type]
                                                                                    : "?");
    }
    sclose(hdr);
    destructHDR(hdr);
    return back;
}

// The physical dimension field of signal k of an EDF or BDF header, as written.
std::string EdfUnitField(const std::string& path, int k) {
    std::ifstream in(path, std::ios::binary);
    char count[5] = {};
    in.seekg(252);
    in.read(count, 4);
    const int signals = std::atoi(count);
    char field[9] = {};
    in.seekg(256 + signals * (16 + 80) + k * 8);
    in.read(field, 8);
    std::string text(field);
    return text.substr(0, text.find_last_not_of(' ') + 1);
}

struct FormatCase {
    const char* extension;
    std::optional<double> factor;
    const char* unit;       // as libbiosig names it
    bool withinOneStep;     // EDF+ rounds to its 16-bit steps; the others are exact
};

class ExportRoundTrip : public ::testing::TestWithParam<FormatCase> {
protected:
    static void SetUpTestSuite() {
        dir_ = new TempDir;
        RecordFromEmulator(dir_->File("emulator.EOL"));
        recording_ = new Recording(ReadEol(dir_->File("emulator.EOL")));
    }
    static void TearDownTestSuite() {
        delete recording_;
        delete dir_;
    }
    static TempDir* dir_;
    static Recording* recording_;
};
TempDir* ExportRoundTrip::dir_ = nullptr;
Recording* ExportRoundTrip::recording_ = nullptr;

TEST_P(ExportRoundTrip, LibbiosigReadsLabelsUnitsRateSamplesAndAnnotationsAsWritten) {
    const FormatCase& c = GetParam();
    const Recording& recording = *recording_;
    ASSERT_FALSE(recording.events.empty()) << "the emulator's events should fall in the recording";
    const std::string output = dir_->File(std::string("out") + (c.factor ? "-uv" : "-count") + c.extension);
    const ExportResult result =
        ExportRecording({dir_->File("emulator.EOL"), output, KESTROM_LOC, c.factor});
    ASSERT_EQ(result.status, ExportStatus::Done) << result.error;
    EXPECT_EQ(result.summary.channels, 16);
    EXPECT_EQ(result.summary.samples, static_cast<std::int64_t>(recording.signals.size()));
    EXPECT_EQ(result.summary.annotations, static_cast<std::int64_t>(recording.events.size()));

    const ReadBack back = ReadWithBiosig(output);
    const std::vector<std::string> labels{"Fp1", "Fp2", "F3", "F4", "C3", "C4", "P3", "P4",
                                          "O1",  "O2",  "F7", "F8", "T3", "T4", "T5", "T6"};
    EXPECT_EQ(back.labels, labels);
    EXPECT_EQ(back.units, std::vector<std::string>(16, c.unit));
    if (!c.factor && std::string(c.extension) != ".gdf") {
        EXPECT_EQ(EdfUnitField(output, 0), "count") << "libbiosig has no code for counts; the header says it";
    }
    EXPECT_NEAR(back.sampleRate, recording.sampleRate, 1e-9 * recording.sampleRate);
    EXPECT_EQ(back.events, recording.events);

    ASSERT_EQ(back.samples.size(), 16u);
    const double factor = c.factor.value_or(1.0);
    for (std::size_t ch = 0; ch < 16; ++ch) {
        ASSERT_EQ(back.samples[ch].size(), recording.signals.size());
        const double tolerance = c.withinOneStep ? back.step[ch] * (1 + 1e-9) : 0.0;
        int off = 0;
        for (std::size_t s = 0; s < recording.signals.size(); ++s) {
            const double expected = recording.signals[s][ch] * factor;
            off += std::abs(back.samples[ch][s] - expected) > tolerance + 1e-9 * std::max(1.0, std::abs(expected));
        }
        EXPECT_EQ(off, 0) << "samples of channel " << labels[ch] << " off by more than the format's resolution";
    }
}

INSTANTIATE_TEST_SUITE_P(Formats, ExportRoundTrip,
                         ::testing::Values(FormatCase{".bdf", 0.0224, "uV", false},
                                           FormatCase{".edf", 0.0224, "uV", true},
                                           FormatCase{".gdf", 0.0224, "uV", false},
                                           FormatCase{".BDF", std::nullopt, "?", false},
                                           FormatCase{".edf", std::nullopt, "?", true},
                                           FormatCase{".gdf", std::nullopt, "-", false}));

struct CodeCase {
    std::vector<std::string> texts;
    std::optional<std::vector<std::uint16_t>> codes;
};

TEST(GdfEventCodes, NumbersKeepTheirCodeAndTextsTakeFreeUserCodes) {
    std::vector<std::string> manyWords;
    for (int i = 0; i < 256; ++i) manyWords.push_back("w" + std::to_string(i));
    const CodeCase cases[] = {
        {{"3", "17", "65535"}, std::vector<std::uint16_t>{3, 17, 65535}},
        {{"1", "eyes closed", "2", "artefact"}, std::vector<std::uint16_t>{1, 3, 2, 4}},
        {{"0", "-5", "65536", "x"}, std::vector<std::uint16_t>{1, 2, 3, 4}},
        {{"300", "a"}, std::vector<std::uint16_t>{300, 1}},
        {manyWords, std::nullopt},
    };
    for (const CodeCase& c : cases) {
        const auto chosen = ChooseGdfEventCodes(c.texts);
        ASSERT_EQ(chosen.has_value(), c.codes.has_value()) << c.texts.front();
        if (!chosen) continue;
        std::vector<std::uint16_t> codes;
        for (const std::string& text : c.texts) {
            const auto it = std::find_if(chosen->begin(), chosen->end(), [&](const auto& g) { return g.text == text; });
            ASSERT_NE(it, chosen->end()) << text;
            codes.push_back(it->code);
        }
        EXPECT_EQ(codes, *c.codes) << c.texts.front();
    }
}

}  // namespace
