#include "acquisition/display/wave_renderer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <set>
#include <vector>

#include "image_probe.h"
#include "qt_environment.h"

namespace {

constexpr int kPacket = 40;
constexpr int kChannels = 17;
constexpr int kRate = 1000;
const QColor kTrace = WaveRenderer::kTraceColour;
const QColor kGrid = WaveRenderer::kGridColour;
const QColor kRed = WaveRenderer::kEventColour;

std::vector<ChannelRecord> Records(int count) {
    std::vector<ChannelRecord> records(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) std::snprintf(records[static_cast<std::size_t>(i)].label, 20, "L%d", i + 1);
    return records;
}

// A renderer set up as the engine does it, with W × H as its client size.
struct Sweep {
    WaveRenderer renderer;
    int channels;

    Sweep(int width, int height, int seconds = 4, int channelCount = kChannels) : channels(channelCount) {
        renderer.Resize({width, height});
        renderer.SetUp(kPacket, channels, kRate, seconds, Records(channels));
        renderer.SetChannelFlags(std::vector<int>(static_cast<std::size_t>(channels), 1));
        renderer.ResetTimeLabels();
    }

    // One packet: value(sample, channel) for the signal channels, events from the list.
    template <typename Value>
    void Add(Value value, std::vector<double> events = {}, bool drawn = true) {
        std::vector<double> packet(static_cast<std::size_t>(kPacket * channels), 0.0);
        for (int j = 0; j < kPacket; ++j) {
            for (int c = 0; c < channels - 1; ++c) packet[static_cast<std::size_t>(j * channels + c)] = value(j, c);
            if (static_cast<std::size_t>(j) < events.size())
                packet[static_cast<std::size_t>(j * channels + channels - 1)] = events[static_cast<std::size_t>(j)];
        }
        if (drawn) renderer.AddPacket(packet);
        else renderer.StorePacket(packet);
    }
    void AddFlat(int count = 1) {
        for (int i = 0; i < count; ++i) Add([](int, int) { return 0.0; });
    }
    const QImage& Image() const { return renderer.Image(); }
};

TEST(WaveRenderer, GeometryAt890PixelsAndFourSeconds) {
    Sweep sweep(890, 640);
    EXPECT_EQ(sweep.renderer.PacketsPerScreen(), 100);
    sweep.AddFlat();
    EXPECT_DOUBLE_EQ(sweep.renderer.PixelsPerSample(), 0.2);
    EXPECT_DOUBLE_EQ(sweep.renderer.X(), 8.0);
    sweep.AddFlat(29);  // 1.2 seconds

    const QImage& image = sweep.Image();
    const int plotBottom = 640 - 40 - 1;
    // Dotted fifth-of-a-second lines every 40 pixels, solid whole-second line at 200.
    for (int column : {85, 125, 165, 205}) {
        const int n = CountInColumn(image, column, 0, plotBottom, kGrid);
        EXPECT_GT(n, 100) << column;
        EXPECT_LT(n, plotBottom) << "dotted at " << column;
    }
    // Solid: every row but where the next packet's traces start on it.
    const auto baselines = sweep.renderer.BaselineY();
    for (int y = 0; y <= plotBottom; ++y) {
        if (std::find(baselines.begin(), baselines.end(), y) != baselines.end()) continue;
        ASSERT_TRUE(Is(image, 245, y, kGrid)) << "whole-second line at row " << y;
    }
    for (int column : {84, 86, 244, 246, 325}) EXPECT_EQ(CountInColumn(image, column, 0, plotBottom, kGrid), 0) << column;

    // The first whole second is labelled after it passed, right edge at 245.
    EXPECT_EQ(sweep.renderer.TimeLabel(0), "00:00:01");
    const QRect box = sweep.renderer.TimeLabelRect(0, "00:00:01", image.size());
    EXPECT_EQ(box.right() + 1, 245);
    const QRect band(45, 600, 400, 40);
    int rightmostWhite = -1;
    for (int y = band.top(); y <= band.bottom(); ++y)
        for (int x = band.left(); x <= band.right(); ++x)
            if (image.pixelColor(x, y).red() > 240) rightmostWhite = std::max(rightmostWhite, x);
    EXPECT_GE(rightmostWhite, 230);
    EXPECT_LE(rightmostWhite, 244);
}

TEST(WaveRenderer, FirstPacketOfASweepErasesANinePixelStripAhead) {
    std::vector<int> onlyFirst(kChannels, 0);
    onlyFirst[0] = 1;
    // A sweep of a square wave paints most rows of the first channel's band,
    // then the new sweep starts with a flat line at the baseline.
    Sweep fine(890, 640);
    fine.renderer.SetChannelFlags(onlyFirst);
    for (int p = 0; p < 100; ++p) fine.Add([](int j, int) { return j % 2 ? 200.0 : -200.0; });
    ASSERT_EQ(fine.renderer.SweepSample(), 0);
    ASSERT_GT(CountInColumn(fine.Image(), 50, 0, 599, kTrace), 50);
    fine.AddFlat();
    EXPECT_DOUBLE_EQ(fine.renderer.X(), 8.0);
    const QImage& image = fine.Image();
    const int baseline = fine.renderer.BaselineY()[0];
    for (int x = 46; x <= 54; ++x) {
        for (int y = 0; y < 600; ++y) {
            if (y == baseline) continue;
            ASSERT_TRUE(Is(image, x, y, Qt::white)) << x << "," << y;
        }
    }
    EXPECT_GT(CountInColumn(image, 55, 0, 599, kTrace), 50) << "the old sweep stays right of the strip";
}

TEST(WaveRenderer, RowsShareThePlotHeight) {
    Sweep sweep(890, 640);
    sweep.AddFlat();
    const std::vector<int> expected{23, 60, 98, 135, 173, 210, 248, 285, 323, 360, 398, 435, 473, 510, 548, 585};
    std::vector<int> baselines(sweep.renderer.BaselineY().begin(), sweep.renderer.BaselineY().begin() + 16);
    EXPECT_EQ(baselines, expected);
    // A flat signal is a horizontal line on each baseline.
    for (int b : expected) EXPECT_TRUE(Is(sweep.Image(), 50, b, kTrace)) << b;

    // Hiding every other channel lays the rest out again over the whole height.
    std::vector<int> flags(kChannels, 1);
    for (int i = 0; i < 16; i += 2) flags[static_cast<std::size_t>(i)] = 0;
    sweep.renderer.SetChannelFlags(flags);
    sweep.AddFlat();
    EXPECT_EQ(sweep.renderer.EnabledCount(), 8);
    EXPECT_EQ(sweep.renderer.BaselineY()[1], 42);   // trunc(37.5 + 5)
    EXPECT_EQ(sweep.renderer.BaselineY()[3], 117);  // trunc(75 + 42.5)
}

TEST(WaveRenderer, TracesAreDrawnRelativeToTheSweepsFirstSample) {
    Sweep sweep(1090, 640, 1);  // one pixel per sample
    std::vector<int> onlyFirst(kChannels, 0);
    onlyFirst[0] = 1;
    sweep.renderer.SetChannelFlags(onlyFirst);
    sweep.Add([](int j, int) { return j < 20 ? 1000.0 : 1010.0; });
    const int baseline = sweep.renderer.BaselineY()[0];
    EXPECT_TRUE(Is(sweep.Image(), 45 + 10, baseline, kTrace));
    EXPECT_TRUE(Is(sweep.Image(), 45 + 30, baseline + 10, kTrace)) << "larger values lie lower";

    sweep.renderer.DoubleGain();
    sweep.Add([](int, int) { return 1010.0; });
    EXPECT_TRUE(Is(sweep.Image(), 45 + 60, baseline + 20, kTrace)) << "gain 2 after the full redraw";
    EXPECT_TRUE(Is(sweep.Image(), 45 + 30, baseline + 20, kTrace)) << "the redraw replays the sweep at the new gain";
}

TEST(WaveRenderer, RisingEventsDrawRedTicks) {
    Sweep sweep(1090, 640, 1);
    sweep.AddFlat();
    sweep.Add([](int, int) { return 0.0; }, {0, 0, 3, 3, 3, 0, 5});
    const QImage& image = sweep.Image();
    const int tickTop = static_cast<int>(640 * 0.95 - 40) + 1;
    std::set<int> tickColumns;
    for (int x = 45; x < 1045; ++x)
        if (CountInColumn(image, x, tickTop, 599, kRed) == 599 - tickTop + 1) tickColumns.insert(x);
    // Samples 2 and 6 of the second packet: sweep samples 43 and 47.
    EXPECT_EQ(tickColumns, (std::set<int>{45 + 43, 45 + 47}));
    // Their numbers stand right-aligned left of each tick.
    const int textTop = static_cast<int>(640 * 0.91 - 40);
    const auto red = [](QColor c) { return c.red() > 200 && c.green() < 80 && c.blue() < 80; };
    EXPECT_GT(CountInRect(image, QRect(45 + 43 - 30, textTop, 30, 20), red), 5);
}

TEST(WaveRenderer, ElapsedTimeLabels) {
    EXPECT_EQ(WaveRenderer::ElapsedTimeText(1), "00:00:01");
    EXPECT_EQ(WaveRenderer::ElapsedTimeText(3725), "01:02:05");
    Sweep sweep(890, 640, 1);
    sweep.AddFlat(25 * 3);
    EXPECT_EQ(sweep.renderer.TimeLabel(0), "00:00:03") << "one label per second of a 1-second sweep";
    sweep.renderer.ResetTimeLabels();
    EXPECT_TRUE(sweep.renderer.TimeLabel(0).isEmpty());
}

TEST(WaveRenderer, TimeLabelsCountOnAcrossChangesOfTimeBaseAndGain) {
    using Change = void (WaveRenderer::*)();
    struct Step {
        Change change;  // then one more second of packets
        int slot;       // where that second's label stands
        const char* label;
    };
    const Step steps[] = {
        {&WaveRenderer::ShowMoreSeconds, 0, "00:00:04"},  // 2 s per sweep, from its left edge
        {nullptr, 1, "00:00:05"},
        {&WaveRenderer::DoubleGain, 0, "00:00:06"},  // the sweep wrapped
        {&WaveRenderer::ShowMoreSeconds, 0, "00:00:07"},  // 3 s
        {&WaveRenderer::ShowFewerSeconds, 0, "00:00:08"},  // 2 s
        {&WaveRenderer::HalveGain, 1, "00:00:09"},
    };
    Sweep sweep(890, 640, 1);
    sweep.AddFlat(25 * 3);
    ASSERT_EQ(sweep.renderer.TimeLabel(0), "00:00:03");
    int row = 0;
    for (const Step& step : steps) {
        SCOPED_TRACE(row++);
        if (step.change) (sweep.renderer.*step.change)();
        sweep.AddFlat(25);
        EXPECT_EQ(sweep.renderer.TimeLabel(step.slot), step.label);
    }
}

TEST(WaveRenderer, HiddenChannelsDrawNothing) {
    Sweep sweep(890, 640);
    sweep.renderer.SetChannelFlags(std::vector<int>(kChannels, 0));
    for (int p = 0; p < 10; ++p) sweep.Add([](int j, int c) { return (j % 7) * 10.0 + c; });
    EXPECT_EQ(sweep.renderer.EnabledCount(), 0);
    const auto trace = [](QColor c) { return c.rgb() == kTrace.rgb(); };
    const auto black = [](QColor c) { return c.red() < 100 && c.green() < 100 && c.blue() < 100; };
    EXPECT_EQ(CountInRect(sweep.Image(), sweep.Image().rect(), trace), 0);
    EXPECT_EQ(CountInRect(sweep.Image(), QRect(0, 0, 45, 600), black), 0) << "no channel label";
}

TEST(WaveRenderer, OneSecondSweepEndsAtPacket25AndRestartsAt26) {
    Sweep sweep(890, 640, 1);
    EXPECT_EQ(sweep.renderer.PacketsPerScreen(), 25);
    sweep.AddFlat(24);
    EXPECT_EQ(sweep.renderer.WriteSlot(), 24);
    EXPECT_EQ(sweep.renderer.SweepSample(), 960);
    sweep.AddFlat();
    EXPECT_EQ(sweep.renderer.WriteSlot(), 0);
    EXPECT_EQ(sweep.renderer.SweepSample(), 0);
    EXPECT_DOUBLE_EQ(sweep.renderer.X(), 800.0);
    sweep.AddFlat();
    EXPECT_EQ(sweep.renderer.WriteSlot(), 1);
    EXPECT_DOUBLE_EQ(sweep.renderer.X(), 32.0) << "back at the left edge";
}

TEST(WaveRenderer, RecordingTurnsTracesBlack) {
    Sweep sweep(890, 640);
    sweep.AddFlat();
    sweep.renderer.SetRecordingPen(true);
    EXPECT_FALSE(sweep.renderer.FullRedrawPending());
    sweep.AddFlat();
    const int baseline = sweep.renderer.BaselineY()[0];
    EXPECT_TRUE(Is(sweep.Image(), 45 + 10, baseline, Qt::black));
    EXPECT_TRUE(Is(sweep.Image(), 45 + 5, baseline, kTrace)) << "what was drawn stays";
    sweep.renderer.SetRecordingPen(false);
    EXPECT_EQ(sweep.renderer.TraceColour().rgb(), kTrace.rgb());
}

TEST(WaveRenderer, TimeBaseStaysBetweenOneAndTenSeconds) {
    Sweep sweep(890, 640, 1);
    sweep.AddFlat(3);
    sweep.renderer.ShowFewerSeconds();
    EXPECT_EQ(sweep.renderer.SecondsPerScreen(), 1);
    EXPECT_FALSE(sweep.renderer.FullRedrawPending()) << "nothing happens at the limit";
    EXPECT_EQ(sweep.renderer.WriteSlot(), 3);

    sweep.renderer.ShowMoreSeconds();
    EXPECT_EQ(sweep.renderer.SecondsPerScreen(), 2);
    EXPECT_TRUE(sweep.renderer.FullRedrawPending());
    EXPECT_EQ(sweep.renderer.PacketsPerScreen(), 50);
    EXPECT_EQ(sweep.renderer.WriteSlot(), 0);
    EXPECT_DOUBLE_EQ(sweep.renderer.X(), 0.0);
    for (int i = 0; i < 20; ++i) sweep.renderer.ShowMoreSeconds();
    EXPECT_EQ(sweep.renderer.SecondsPerScreen(), 10);
    sweep.AddFlat();
    EXPECT_DOUBLE_EQ(sweep.renderer.PixelsPerSample(), 800.0 / 10000);
}

TEST(WaveRenderer, GainHasNoLimitAndResetsToOne) {
    Sweep sweep(890, 640);
    sweep.AddFlat();
    for (int i = 0; i < 40; ++i) sweep.renderer.DoubleGain();
    sweep.Add([](int j, int) { return j % 2 ? 1.0e6 : -1.0e6; });  // far off the image, and nothing breaks
    for (int i = 0; i < 3; ++i) sweep.renderer.HalveGain();
    EXPECT_DOUBLE_EQ(sweep.renderer.Gain(), std::ldexp(1.0, 37));
    sweep.renderer.ResetGain();
    EXPECT_EQ(sweep.renderer.Gain(), 1.0);
    EXPECT_TRUE(sweep.renderer.FullRedrawPending());
}

TEST(WaveRenderer, ChangeAfterAFullScreenRedrawsNothingAndStartsANewSweep) {
    Sweep sweep(890, 640, 1);
    sweep.AddFlat(24);
    sweep.renderer.DoubleGain();
    sweep.Add([](int j, int) { return j * 5.0; });  // completes the screen: writeSlot 0
    EXPECT_EQ(sweep.renderer.SweepSample(), 0);
    const auto trace = [](QColor c) { return c.rgb() == kTrace.rgb(); };
    EXPECT_EQ(CountInRect(sweep.Image(), QRect(45, 0, 800, 600), trace), 0);
    sweep.AddFlat();
    EXPECT_DOUBLE_EQ(sweep.renderer.X(), 32.0);
    EXPECT_GT(CountInRect(sweep.Image(), QRect(45, 0, 40, 600), trace), 0);
}

TEST(WaveRenderer, ResizeRedrawsAtTheNewSize) {
    Sweep sweep(890, 640);
    sweep.AddFlat();
    sweep.renderer.Resize({600, 400});
    EXPECT_TRUE(sweep.renderer.FullRedrawPending());
    sweep.AddFlat();
    EXPECT_EQ(sweep.Image().size(), QSize(600, 400));
    EXPECT_DOUBLE_EQ(sweep.renderer.PixelsPerSample(), 510.0 / 4000);
}

TEST(WaveRenderer, UnusableInputIsIgnored) {
    WaveRenderer renderer;
    renderer.Resize({400, 300});
    renderer.SetUp(40, 17, 3, 4, Records(17));  // sample rate below 5
    EXPECT_FALSE(renderer.IsSetUp());
    renderer.AddPacket(std::vector<double>(40 * 17, 1.0));
    EXPECT_TRUE(renderer.Image().isNull());

    renderer.SetUp(40, 17, 1000, 4, Records(3));  // fewer records than channels: empty labels
    renderer.SetChannelFlags(std::vector<int>(17, 1));
    renderer.AddPacket(std::vector<double>(40 * 17 - 1, 1.0));  // short packet
    EXPECT_TRUE(renderer.Image().isNull());
    std::vector<double> odd(40 * 17, std::numeric_limits<double>::quiet_NaN());
    odd[40] = std::numeric_limits<double>::infinity();
    renderer.AddPacket(odd);
    renderer.AddPacket(odd);
    EXPECT_FALSE(renderer.Image().isNull());
}

TEST(WaveRenderer, SampleRateTooHighForTheSweepStoreIsIgnored) {
    // A sample rate typed into the settings dialog: ten seconds of it for every
    // channel would not fit in memory.
    WaveRenderer renderer;
    renderer.Resize({400, 300});
    EXPECT_NO_THROW(renderer.SetUp(40, 17, 2000000000, 4, Records(17)));
    EXPECT_FALSE(renderer.IsSetUp());
    renderer.ShowMoreSeconds();
    renderer.AddPacket(std::vector<double>(40 * 17, 1.0));
    EXPECT_TRUE(renderer.Image().isNull());

    // A high rate that fits is still drawn.
    renderer.SetUp(40, 17, 100000, 10, Records(17));
    EXPECT_TRUE(renderer.IsSetUp());
    EXPECT_EQ(renderer.PacketsPerScreen(), 25000);
}

}  // namespace

// A display that has fallen behind stores packets undrawn and redraws once
// with the newest: the same picture, time labels included, as drawing every
// packet and then redrawing, within a sweep and across its end.
TEST(WaveRenderer, SkippingToTheNewestPacketShowsWhatDrawingEveryPacketShows) {
    struct Case {
        int drawnFirst, stored;
    };
    for (const Case c : {Case{10, 40}, Case{90, 40}, Case{0, 130}}) {
        Sweep every(890, 640), skipping(890, 640);
        const auto wave = [](int packet) {
            return [packet](int j, int ch) { return 150 * std::sin(0.05 * (packet * kPacket + j) + ch); };
        };
        for (int p = 0; p <= c.drawnFirst + c.stored; ++p) {
            const std::vector<double> events = p % 12 == 3 ? std::vector<double>{0, 0, 4} : std::vector<double>{};
            const bool last = p == c.drawnFirst + c.stored;
            if (last) every.renderer.ResetGain();  // a full redraw, as after skipping
            every.Add(wave(p), events);
            skipping.Add(wave(p), events, p < c.drawnFirst || last);
        }
        EXPECT_TRUE(every.Image() == skipping.Image()) << "drawn " << c.drawnFirst << ", stored " << c.stored;
        for (int k = 0; k < 4; ++k) EXPECT_EQ(skipping.renderer.TimeLabel(k), every.renderer.TimeLabel(k)) << k;
        EXPECT_EQ(skipping.renderer.SweepSample(), every.renderer.SweepSample());
    }
}
