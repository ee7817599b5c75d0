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
