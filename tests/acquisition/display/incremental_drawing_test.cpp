// The incremental waveform drawing gives, after every packet, the picture that
// drawing everything afresh at every packet gave, pixel for pixel, and reports
// every pixel it changed. The impedance map, its texts laid out once, gives the
// picture of laying them out at every update. The references are the drawings
// as they were before.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "acquisition/display/impedance_renderer.h"
#include "acquisition/display/wave_renderer.h"
#include "qt_environment.h"
#include "reference_impedance_renderer.h"
#include "reference_wave_renderer.h"

namespace {

struct Scenario {
    std::string name;
    QSize size;
    int channels, packetSize, sampleRate, seconds, packets;
    std::vector<std::string> labels;
    // Value of channel c at sample t of the run, in display units.
    std::function<double(long t, int c)> value;
    // Event code at sample t.
    std::function<double(long t)> event;
    // Changes made between packets: (packet, what).
    std::vector<std::pair<int, std::function<void(WaveRenderer&, ReferenceWaveRenderer&)>>> changes;
};

void PrintTo(const Scenario& s, std::ostream* out) { *out << s.name; }

template <typename Renderer>
void SetUpAsTheEngineDoes(Renderer& r, const Scenario& s) {
    std::vector<ChannelRecord> records(static_cast<std::size_t>(s.channels));
    for (std::size_t i = 0; i < records.size() && i < s.labels.size(); ++i)
        std::snprintf(records[i].label, sizeof records[i].label, "%s", s.labels[i].c_str());
    r.Resize(s.size);
    r.SetUp(s.packetSize, s.channels, s.sampleRate, s.seconds, records);
    r.SetChannelFlags(std::vector<int>(static_cast<std::size_t>(s.channels), 1));
    r.ResetTimeLabels();
}

// Where two pictures differ, for the failure message.
std::string Difference(const QImage& a, const QImage& b) {
    if (a.size() != b.size()) return "sizes differ";
    int count = 0;
    QPoint first(-1, -1);
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            if (a.pixel(x, y) != b.pixel(x, y) && count++ == 0) first = QPoint(x, y);
    return std::to_string(count) + " pixels differ, the first at " + std::to_string(first.x()) + "," +
           std::to_string(first.y());
}

bool InChanges(const WaveRenderer::Changes& changes, QPoint p) {
    for (const QRect& r : changes)
        if (r.contains(p)) return true;
    return false;
}

class IncrementalDrawing : public testing::TestWithParam<Scenario> {};

TEST_P(IncrementalDrawing, MatchesTheFullDrawingAfterEveryPacket) {
    const Scenario& s = GetParam();
    WaveRenderer renderer;
    ReferenceWaveRenderer reference;
    SetUpAsTheEngineDoes(renderer, s);
    SetUpAsTheEngineDoes(reference, s);
    std::vector<double> packet(static_cast<std::size_t>(s.packetSize * s.channels));
    auto change = s.changes.begin();
    QImage before;
    for (int n = 0; n < s.packets; ++n) {
        for (; change != s.changes.end() && change->first == n; ++change) change->second(renderer, reference);
        for (int j = 0; j < s.packetSize; ++j) {
            const long t = static_cast<long>(n) * s.packetSize + j;
            for (int c = 0; c < s.channels - 1; ++c) packet[static_cast<std::size_t>(j * s.channels + c)] = s.value(t, c);
            packet[static_cast<std::size_t>(j * s.channels + s.channels - 1)] = s.event(t);
        }
        renderer.AddPacket(packet);
        reference.AddPacket(packet);
        const QImage& image = renderer.Image();
        ASSERT_TRUE(image == reference.Image()) << "packet " << n << ": " << Difference(image, reference.Image());
        if (before.size() == image.size()) {
            for (int y = 0; y < image.height(); ++y) {
                const auto* was = reinterpret_cast<const QRgb*>(before.constScanLine(y));
                const auto* is = reinterpret_cast<const QRgb*>(image.constScanLine(y));
                for (int x = 0; x < image.width(); ++x)
                    ASSERT_TRUE(was[x] == is[x] || InChanges(renderer.LastChanges(), {x, y}))
                        << "packet " << n << " changed " << x << "," << y << " unreported";
            }
        }
        before = image.copy();
    }
}

const std::vector<std::string> kMontage{"Fp1", "Fp2", "F3", "F4", "C3", "C4", "P3", "P4",
                                        "O1",  "O2",  "F7", "F8", "T3", "T4", "T5", "T6"};

double Eeg(long t, int c) { return 25 * std::sin(0.0628 * t + c) + 8 * std::sin(0.314 * t * (1 + c % 3)); }

std::vector<Scenario> Scenarios() {
    using R = WaveRenderer;
    using Ref = ReferenceWaveRenderer;
    return {
        {"Defaults1920x1080", {1920, 1080}, 17, 40, 1000, 4, 130, kMontage, Eeg,
         [](long t) { return t % 730 == 300 ? 7.0 : 0.0; },
         {{30, [](R& r, Ref& f) { r.SetRecordingPen(true), f.SetRecordingPen(true); }},
          {60, [](R& r, Ref& f) { r.SetRecordingPen(false), f.SetRecordingPen(false); }}}},
        // Traces far into the bands, events at the sweep's start over the
        // labels, numbers too wide for their box, labels too wide for theirs.
        {"WildValuesAndLongLabels", {890, 640}, 17, 40, 1000, 1, 80,
         {"什么都不接", "Fp2", "一二三四五六", "ABCDEFGHIJKLMNOPQR", "C3", "C4", "P3", "P4", "O1", "O2", "F7",
          "F8", "T3", "T4", "T5", "WWWWWWWWW"},
         [](long t, int c) { return (t / 40) % 3 == 0 ? 900 * std::sin(0.05 * t + c) : Eeg(t, c); },
         [](long t) {
             const long s = t % 1000;
             return s == 3 ? 1234567.0 : s == 10 ? -3.0 : s == 12 ? 5.0 : s == 500 ? 42.0 : 0.0;
         },
         {{20, [](R& r, Ref& f) { r.DoubleGain(), f.DoubleGain(); }},
          {45, [](R& r, Ref& f) { r.ResetTimeLabels(), f.ResetTimeLabels(); }}}},
        // Also a wide number just after the sweep's start, over the last label.
        {"NarrowWindowHiddenLeads", {260, 300}, 9, 20, 200, 3, 120, kMontage, Eeg,
         [](long t) { return t % 600 == 25 ? 4321.0 : t % 97 == 0 ? 3.0 : 0.0; },
         {{10, [](R& r, Ref& f) {
               const std::vector<int> flags{1, 0, 1, 0, 0, 1, 1, 0, 0};
               r.SetChannelFlags(flags), f.SetChannelFlags(flags);
           }},
          {50, [](R& r, Ref& f) { r.ShowFewerSeconds(), f.ShowFewerSeconds(); }},
          {70, [](R& r, Ref& f) { r.Resize({330, 260}), f.Resize({330, 260}); }}}},
        // Hundreds of vertices per trace and packet.
        {"LongPackets", {1920, 700}, 5, 400, 1000, 1, 12, kMontage, Eeg, [](long) { return 0.0; }, {}},
        {"SixtyFourChannels", {1600, 1000}, 64, 160, 4000, 2, 60, kMontage, Eeg,
         [](long t) { return t % 3000 == 1000 ? 2.0 : 0.0; }, {}},
    };
}

INSTANTIATE_TEST_SUITE_P(Scenarios, IncrementalDrawing, testing::ValuesIn(Scenarios()),
                         [](const testing::TestParamInfo<Scenario>& info) { return info.param.name; });

// Updates of the map, each (impedances as a function of the channel, min, max, size).
struct MapUpdate {
    std::function<int(int channel)> impedance;
    int min, max;
    QSize size;
};

TEST(ImpedanceMapTexts, SamePixelsAsLayingOutEveryTextAndEveryChangeReported) {
    std::vector<ChannelRecord> records(17);
    const char* labels[] = {"Fp1", "什么都不接", "%1", "A very long label"};
    for (int i = 0; i < 17; ++i) {
        std::snprintf(records[static_cast<std::size_t>(i)].label, 20, "%s", labels[i % 4]);
        records[static_cast<std::size_t>(i)].mapX = 0.45 * std::cos(i * 0.7);
        records[static_cast<std::size_t>(i)].mapY = 0.45 * std::sin(i * 0.7);
    }
    const std::vector<MapUpdate> updates{
        {[](int) { return 2550000; }, 0, 100, {1920, 1000}},
        {[](int c) { return c == 10 ? 37 : 2550000; }, 0, 100, {1920, 1000}},
        {[](int c) { return c * 7; }, 0, 100, {1920, 1000}},
        {[](int c) { return c * 7; }, -50, 2550000, {1920, 1000}},
        {[](int c) { return c - 8; }, 20, 5, {800, 600}},
        {[](int c) { return c; }, 7, 7, {300, 200}},
        {[](int c) { return c == 3 ? 99 : c; }, 7, 7, {300, 200}},
    };
    ImpedanceRenderer renderer;
    ReferenceImpedanceRenderer reference;
    renderer.SetUp(17, records);
    reference.SetUp(17, records);
    QImage before;
    for (std::size_t u = 0; u < updates.size(); ++u) {
        std::vector<int> impedances(17);
        for (int c = 0; c < 17; ++c) impedances[static_cast<std::size_t>(c)] = updates[u].impedance(c);
        renderer.Draw(impedances, updates[u].min, updates[u].max, updates[u].size);
        reference.Draw(impedances, updates[u].min, updates[u].max, updates[u].size);
        const QImage& image = renderer.Image();
        ASSERT_TRUE(image == reference.Image()) << "update " << u << ": " << Difference(image, reference.Image());
        if (before.size() == image.size()) {
            for (int y = 0; y < image.height(); ++y)
                for (int x = 0; x < image.width(); ++x)
                    ASSERT_TRUE(before.pixel(x, y) == image.pixel(x, y) || renderer.LastChange().contains(x, y))
                        << "update " << u << " changed " << x << "," << y << " unreported";
        }
        before = image.copy();
    }
}

}  // namespace
