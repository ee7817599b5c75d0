#include "acquisition/usb/amplifier_emulator.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "acquisition/engine/signal_conditioning.h"

namespace {
using ::testing::ElementsAre;
using Bytes = std::vector<std::uint8_t>;
using Frame = std::array<std::uint8_t, amp::kFrameBytes>;

constexpr int P = AmplifierEmulator::kPacketSize;
constexpr int C = AmplifierEmulator::kValuesPerSample;
constexpr double kScale = 0.00073536;

Bytes AsBytes(const amp::Command& c) { return Bytes(c.begin(), c.end()); }

// Packets of raw values, as the host decodes them, for `seconds` of a mode.
std::vector<std::int32_t> Record(AmplifierEmulator& emulator, int packets) {
    std::vector<std::int32_t> all;
    std::vector<std::int32_t> values(P * C);
    Frame frame{};
    for (int i = 0; i < packets; ++i) {
        emulator.NextFrame(frame, values);
        all.insert(all.end(), values.begin(), values.end());
    }
    return all;
}

// Amplitude of the component at hz of channel c over samples [from, to).
double AmplitudeAt(const std::vector<std::int32_t>& samples, int c, double hz, int from, int to) {
    double re = 0, im = 0;
    for (int t = from; t < to; ++t) {
        const double w = 2 * std::numbers::pi * hz * t / AmplifierEmulator::kSampleRate;
        re += samples[static_cast<std::size_t>(t * C + c)] * std::cos(w);
        im += samples[static_cast<std::size_t>(t * C + c)] * std::sin(w);
    }
    return 2 * std::hypot(re, im) / (to - from);
}

TEST(AmplifierEmulator, AnswersTheHandshakeAndFollowsModeAndStop) {
    AmplifierEmulator emulator;
    EXPECT_FALSE(emulator.Streaming());
    EXPECT_THAT(emulator.Receive(AsBytes(amp::HandshakeCommand())), ElementsAre('E', 'E', 'G', 0x00, 0xFF));
    for (int mode = 0; mode < 4; ++mode) {
        EXPECT_TRUE(emulator.Receive(AsBytes(amp::ModeCommand(mode))).empty());
        EXPECT_EQ(emulator.Mode(), mode);
        emulator.Receive(AsBytes(amp::StopCommand()));
        EXPECT_FALSE(emulator.Streaming());
    }
}

TEST(AmplifierEmulator, FindsCommandsInNoiseAndAcceptsAnyTrailingBytes) {
    AmplifierEmulator emulator;
    // Junk, then a mode command with other bytes 5 and 6, split in two writes.
    emulator.Receive(Bytes{0x00, 0xF0, 0x12, 0xF0, 0x0F, 0x01});
    EXPECT_FALSE(emulator.Streaming());
    emulator.Receive(Bytes{0x01, 0xFE, 0x00, 0x00});
    EXPECT_EQ(emulator.Mode(), 1);
}

TEST(AmplifierEmulator, FramesCarryACounterAndDecodeToTheirValues) {
    AmplifierEmulator emulator;
    emulator.Receive(AsBytes(amp::ModeCommand(0)));
    Frame frame{};
    std::vector<std::int32_t> values(P * C), decoded(P * C);
    for (int i = 0; i < 300; ++i) {
        emulator.NextFrame(frame, values);
        EXPECT_EQ(amp::FrameCounter(frame), i % 256);
        amp::DecodeFrame(frame, P, C, decoded);
        ASSERT_EQ(decoded, values) << "frame " << i;
    }
    EXPECT_EQ(emulator.SamplesSent(), 300 * P);
}

TEST(AmplifierEmulator, WaveformModeLooksLikeEeg) {
    EmulatorOptions options;
    options.ssvepFrequencies = {12.0, 15.0};
    options.holdSeconds = 4.0;
    AmplifierEmulator emulator(options);
    emulator.Receive(AsBytes(amp::ModeCommand(0)));
    const int packets = 8 * 25;  // 8 s: each schedule entry once
    const auto samples = Record(emulator, packets);
    const int n = packets * P;

    // Hum on every lead, big enough to see, gone after the canceller.
    PowerLineCanceller canceller;
    canceller.BuildCanceller(P, C, AmplifierEmulator::kSampleRate);
    std::vector<double> clean(samples.size());
    for (int i = 0; i < packets; ++i) {
        const std::size_t at = static_cast<std::size_t>(i) * P * C;
        canceller.CancelPowerLine(std::span(samples).subspan(at, P * C), std::span(clean).subspan(at, P * C));
    }
    for (int c = 0; c < 16; ++c) {
        EXPECT_GT(AmplitudeAt(samples, c, 50, 0, n) * kScale, 15.0) << c;
        double sum = 0;
        const int settled = n / 2;
        for (int t = settled; t < n; ++t) sum += clean[static_cast<std::size_t>(t * C + c)] * clean[static_cast<std::size_t>(t * C + c)];
        const double rmsPixels = std::sqrt(sum / (n - settled)) * kScale;
        EXPECT_GT(rmsPixels, 4.0) << c;    // background a few tens of pixels peak to peak
        EXPECT_LT(rmsPixels, 40.0) << c;
    }

    // Alpha and SSVEP on O1 and O2 only, the SSVEP at the frequency of the hold.
    for (int c : {8, 9}) {
        EXPECT_GT(AmplitudeAt(samples, c, 10, 0, n), 3 * AmplitudeAt(samples, 0, 10, 0, n));
        EXPECT_GT(AmplitudeAt(samples, c, 12, 0, 4000), 3 * AmplitudeAt(samples, c, 15, 0, 4000));
        EXPECT_GT(AmplitudeAt(samples, c, 15, 4000, 8000), 3 * AmplitudeAt(samples, c, 12, 4000, 8000));
    }
    EXPECT_LT(AmplitudeAt(samples, 0, 12, 0, 4000) * kScale, 5.0);

    // An event every 3 s: the number of the frequency being shown.
    std::vector<std::pair<int, int>> events;
    for (int t = 0; t < n; ++t) {
        if (const int e = samples[static_cast<std::size_t>(t * C + C - 1)]; e != 0) events.emplace_back(t, e);
    }
    EXPECT_THAT(events, ElementsAre(std::pair{3000, 1}, std::pair{6000, 2}));
}

TEST(AmplifierEmulator, ImpedanceModeMovesTheTestSignalThroughTheChannels) {
    AmplifierEmulator emulator;
    emulator.Receive(AsBytes(amp::ModeCommand(1)));
    Frame frame{};
    std::vector<std::int32_t> values(P * C);
    std::vector<int> estimates(16, -1);
    for (int i = 0; i < 16 * 25; ++i) {
        emulator.NextFrame(frame, values);
        const int channel = amp::MeasuredChannel(frame);
        ASSERT_EQ(channel, i / 25);  // one channel per second
        const ImpedanceEstimate estimate = EstimateImpedance(values, P, C, channel);
        if (i % 25 == 0) estimates[static_cast<std::size_t>(channel)] = estimate.stored;
        // The same reading all the second long, near what the channel stands for.
        EXPECT_NEAR(estimate.stored, AmplifierEmulator::ImpedanceOf(channel),
                    2 + AmplifierEmulator::ImpedanceOf(channel) / 20)
            << "channel " << channel;
    }
    int good = 0, poor = 0, unattached = 0;
    for (int z : estimates) {
        if (z >= 0 && z < 20) ++good;
        if (z >= 40 && z <= 80) ++poor;
        if (z > 500) ++unattached;
    }
    EXPECT_EQ(good, 14);
    EXPECT_EQ(poor, 1);
    EXPECT_EQ(unattached, 1);
    // No event codes while impedances are measured; the channel wraps after 16 s.
    emulator.NextFrame(frame, values);
    EXPECT_EQ(amp::MeasuredChannel(frame), 0);
    EXPECT_EQ(frame[2], 32);
}

}  // namespace
