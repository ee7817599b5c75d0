#include "acquisition/engine/signal_conditioning.h"

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <vector>

#include "support/piece_recorder.h"

namespace {

constexpr int P = 40, C = 17, R = 1000;

std::vector<std::int32_t> Packet(auto valueOf) {
    std::vector<std::int32_t> packet(P * C);
    for (int t = 0; t < P; ++t)
        for (int c = 0; c < C; ++c) packet[static_cast<std::size_t>(t * C + c)] = valueOf(t, c);
    return packet;
}

TEST(PowerLineCanceller, FiftyHertzCosineVanishesFromTheSecondPacket) {
    PowerLineCanceller canceller;
    canceller.BuildCanceller(P, C, R);
    const double a = 100000;
    const auto hum = Packet([&](int t, int c) {
        return c == 4 ? static_cast<std::int32_t>(std::lround(a * std::cos(t * 314.15926 / R))) : 0;
    });
    std::vector<double> out(hum.size());

    canceller.CancelPowerLine(hum, out);
    for (std::size_t i = 0; i < hum.size(); ++i) EXPECT_EQ(out[i], hum[i]) << "weights start at 0";
    EXPECT_NEAR(canceller.Weights()[4], a, a * 1e-4);
    EXPECT_NEAR(canceller.Weights()[C + 4], 0.0, a * 1e-4);

    for (int packet = 2; packet <= 4; ++packet) {
        canceller.CancelPowerLine(hum, out);
        for (int t = 0; t < P; ++t) EXPECT_NEAR(out[static_cast<std::size_t>(t * C + 4)], 0.0, 1.0) << packet;
    }
}

// The canceller as it always ran at 40 samples: a fixed step of 0.05.
std::vector<double> FixedStepCanceller(const std::vector<std::int32_t>& input, std::vector<double>& w, int rate) {
    std::vector<double> out(input.size());
    for (int c = 0; c < C - 1; ++c) {
        double sumCos = 0, sumSin = 0;
        for (int t = 0; t < P; ++t) {
            const double cosT = std::cos(t * 314.15926 / rate), sinT = std::sin(t * 314.15926 / rate);
            const std::size_t i = static_cast<std::size_t>(t * C + c);
            out[i] = input[i] - (w[c] * cosT + w[C + c] * sinT);
            sumCos += cosT * out[i];
            sumSin += sinT * out[i];
        }
        w[c] += 0.05 * sumCos;
        w[C + c] += 0.05 * sumSin;
    }
    for (int t = 0; t < P; ++t) out[static_cast<std::size_t>(t * C + C - 1)] = input[static_cast<std::size_t>(t * C + C - 1)];
    return out;
}

TEST(PowerLineCanceller, FortySamplesKeepTheirOutputBitForBit) {
    for (const int rate : {1000, 250, 4000}) {
        PowerLineCanceller canceller;
        canceller.BuildCanceller(P, C, rate);
        std::vector<double> w(2 * C, 0.0);
        std::uint32_t noise = 12345;
        for (int n = 0; n < 30; ++n) {
            const auto packet = Packet([&](int t, int c) {
                noise = noise * 1664525u + 1013904223u;
                return static_cast<std::int32_t>(80000 * std::cos((n * P + t) * 0.314 + c) + (noise >> 12) % 20000);
            });
            std::vector<double> out(packet.size());
            canceller.CancelPowerLine(packet, out);
            ASSERT_EQ(out, FixedStepCanceller(packet, w, rate)) << "rate " << rate << ", packet " << n;
            ASSERT_EQ(std::vector<double>(canceller.Weights().begin(), canceller.Weights().end()), w);
        }
    }
}

// A steady hum, in phase with the reference that restarts with every packet:
// one step removes it when a packet spans whole periods, at any packet size,
// and no packet size makes the canceller grow the hum instead.
struct HumCase {
    int packetSize, sampleRate, settledAfter;
    double tolerance;
    friend std::ostream& operator<<(std::ostream& out, const HumCase& c) {
        return out << c.packetSize << " samples at " << c.sampleRate << "/s";
    }
};

class PowerLineCancellerAtPacketSize : public testing::TestWithParam<HumCase> {};

TEST_P(PowerLineCancellerAtPacketSize, RemovesASteadyHumAndStaysStable) {
    const auto [packetSize, rate, settledAfter, tolerance] = GetParam();
    const int channels = 64;
    PowerLineCanceller canceller;
    canceller.BuildCanceller(packetSize, channels, rate);
    std::vector<std::int32_t> hum(static_cast<std::size_t>(packetSize * channels));
    for (int t = 0; t < packetSize; ++t)
        for (int c = 0; c < channels - 1; ++c)
            hum[static_cast<std::size_t>(t * channels + c)] =
                static_cast<std::int32_t>(std::lround(100000 * std::cos(t * 314.15926 / rate + c)));
    std::vector<double> out(hum.size());
    for (int n = 1; n <= settledAfter + 100; ++n) {
        canceller.CancelPowerLine(hum, out);
        if (n <= settledAfter) continue;
        for (std::size_t i = 0; i < out.size(); ++i) {
            if (i % channels == channels - 1) continue;  // the event channel
            ASSERT_NEAR(out[i], 0.0, tolerance) << "packet " << n << ", value " << i;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, PowerLineCancellerAtPacketSize,
    testing::Values(HumCase{40, 1000, 1, 1.0}, HumCase{80, 1000, 1, 1.0}, HumCase{160, 1000, 1, 1.0},
                    HumCase{400, 1000, 1, 1.0}, HumCase{160, 4000, 1, 1.0}, HumCase{320, 4000, 1, 1.0},
                    // Shorter than a period: no longer one step, but converging.
                    HumCase{8, 1000, 200, 1.0}, HumCase{40, 20000, 400, 1.0}));

TEST(PowerLineCanceller, ConstantPassesAndEventIsCopiedExactly) {
    PowerLineCanceller canceller;
    canceller.BuildCanceller(P, C, R);
    const auto packet = Packet([](int t, int c) { return c == C - 1 ? (t % 7 == 0 ? 2147483647 : 3) : 5000; });
    std::vector<double> out(packet.size());
    for (int k = 0; k < 5; ++k) {
        canceller.CancelPowerLine(packet, out);
        for (int t = 0; t < P; ++t) {
            for (int c = 0; c < C - 1; ++c) EXPECT_NEAR(out[static_cast<std::size_t>(t * C + c)], 5000, 5000 * 1e-6);
            EXPECT_EQ(out[static_cast<std::size_t>(t * C + C - 1)], packet[static_cast<std::size_t>(t * C + C - 1)]);
        }
    }
}

TEST(PowerLineCanceller, RebuildResetsWeightsAndSingleChannelOnlyCopies) {
    PowerLineCanceller canceller;
    canceller.BuildCanceller(P, C, R);
    const auto hum = Packet([](int t, int) { return static_cast<std::int32_t>(1000 * std::sin(t * 314.15926 / R)); });
    std::vector<double> out(hum.size());
    canceller.CancelPowerLine(hum, out);
    EXPECT_NE(canceller.Weights()[C], 0.0);
    canceller.BuildCanceller(P, C, R);
    for (double w : canceller.Weights()) EXPECT_EQ(w, 0.0);

    canceller.BuildCanceller(3, 1, R);
    const std::vector<std::int32_t> events{1, 2, 3};
    std::vector<double> eventOut(3);
    canceller.CancelPowerLine(events, eventOut);
    EXPECT_EQ(eventOut, (std::vector<double>{1, 2, 3}));
}

TEST(PowerLineCanceller, ReferenceRestartsEachPacketAtTheGivenRate) {
    PowerLineCanceller canceller;
    canceller.BuildCanceller(4, 2, 200);
    const auto table = canceller.ReferenceTable();
    ASSERT_EQ(table.size(), 8u);
    EXPECT_EQ(table[0], 1.0);
    EXPECT_EQ(table[1], 0.0);
    EXPECT_DOUBLE_EQ(table[6], std::cos(3 * 314.15926 / 200));
    EXPECT_DOUBLE_EQ(table[7], std::sin(3 * 314.15926 / 200));
}

TEST(Scaling, SignalsAreScaledAndTheEventChannelIsNot) {
    std::vector<double> packet{10, 20, 7, 30, 40, 8};  // 2 samples of 3 values
    ScaleSignalChannels(packet, 2, 3, 0.5);
    EXPECT_EQ(packet, (std::vector<double>{5, 10, 7, 15, 20, 8}));
}

TEST(ImpedanceEstimate, QuarterRateSquareWave) {
    const auto packet = Packet([](int t, int c) { return c == 3 ? ((t % 4) < 2 ? 1000 : -1000) : 77; });
    const ImpedanceEstimate e = EstimateImpedance(packet, P, C, 3);
    EXPECT_NEAR(e.amplitude, 35.1224, 1e-4);
    EXPECT_NEAR(e.value, -7.3107, 1e-4);
    EXPECT_EQ(e.stored, -3);
    std::ostringstream line;
    WriteImpedanceDiagnostic(line, 3, e);
    EXPECT_EQ(line.str(), "3 imp=-7.31066  A = 35.1224\n");
}

// The UI thread prints "connect " while the acquisition thread prints these
// lines (the impedance command during acquisition); each must stay whole.
TEST(ImpedanceEstimate, DiagnosticLineReachesTheStreamInOnePiece) {
    const auto packet = Packet([](int t, int c) { return c == 3 ? ((t % 4) < 2 ? 1000 : -1000) : 77; });
    PieceRecorder pieces;
    std::ostream out(&pieces);
    WriteImpedanceDiagnostic(out, 3, EstimateImpedance(packet, P, C, 3));
    WriteImpedanceDiagnostic(out, 12, EstimateImpedance(Packet([](int, int) { return 0; }), P, C, 12));
    EXPECT_EQ(pieces.pieces, (std::vector<std::string>{"3 imp=-7.31066  A = 35.1224\n", "12 imp=-11.1671  A = 0\n"}));

    // Numbers keep the stream's default format, whatever their size.
    for (const double v : {0.0, 1e-7, 0.000123456789, 123456.7, 1234567.0, -2.5e12, 201.7}) {
        std::ostringstream expected;
        expected << 5 << " imp=" << v << "  A = " << v * 3 << "\n";
        std::ostringstream line;
        WriteImpedanceDiagnostic(line, 5, ImpedanceEstimate{v, v * 3, 0});
        EXPECT_EQ(line.str(), expected.str());
    }
}

TEST(ImpedanceEstimate, ZerosAndTruncationTowardZero) {
    const auto zeros = Packet([](int, int) { return 0; });
    const ImpedanceEstimate e = EstimateImpedance(zeros, P, C, 0);
    EXPECT_EQ(e.amplitude, 0.0);
    EXPECT_DOUBLE_EQ(e.value, -11.1671);
    EXPECT_EQ(e.stored, -5);
    std::ostringstream line;
    WriteImpedanceDiagnostic(line, 0, e);
    EXPECT_EQ(line.str(), "0 imp=-11.1671  A = 0\n");

    // A large 250 Hz component: value well above 200, stored halved.
    const auto strong = Packet([](int t, int c) { return c == 1 ? (t % 4 == 0 ? 100000 : (t % 4 == 2 ? -100000 : 0)) : 0; });
    const ImpedanceEstimate s = EstimateImpedance(strong, P, C, 1);
    EXPECT_EQ(s.stored, static_cast<int>(s.value) / 2);
    EXPECT_GT(s.stored, 100);
}

TEST(ImpedanceEstimate, IncompleteGroupIsLeftOutAndBadChannelsAreHarmless) {
    // 42 samples: the two after the last whole group must not count.
    const int P42 = 42;
    std::vector<std::int32_t> packet(static_cast<std::size_t>(P42 * 2), 0);
    for (int t = 0; t < 40; ++t) packet[static_cast<std::size_t>(t * 2)] = (t % 4) < 2 ? 1000 : -1000;
    packet[40 * 2] = 50000000;
    packet[41 * 2] = -50000000;
    const ImpedanceEstimate e = EstimateImpedance(packet, P42, 2, 0);
    EXPECT_NEAR(e.amplitude, 35.1224 * 40 / 42, 1e-4);
    EXPECT_EQ(EstimateImpedance(packet, P42, 2, 5).amplitude, 0.0);
    EXPECT_EQ(EstimateImpedance(packet, P42, 2, -1).amplitude, 0.0);
}

}  // namespace
