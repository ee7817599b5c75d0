// Once acquisition runs, the acquisition thread allocates nothing per packet:
// not building records, appending to the recording, sending to a client,
// conditioning, nor handing packets to the displays; nor do the displays'
// drawing threads, whatever a packet draws (a new sweep, a time label, an
// event). Its own binary: it counts the program's allocations, on those
// threads only.

#include <gtest/gtest.h>

#include <QWidget>
#include <QtCore/qtestsupport_core.h>

#include <cmath>

#include "acquisition/display/impedance_display.h"
#include "acquisition/display/wave_display.h"
#include "acquisition/engine/acquisition_engine.h"
#include "acquisition/server/data_server.h"
#include "qt_environment.h"
#include "support/scripted_amplifier.h"
#include "support/temp_dir.h"
#include "tests/acquisition/server/stream_client.h"
#include "tests/support/allocation_counter.h"

namespace {

// The scripted amplifier, with EEG-like waves and hum and an event every half
// second in its packets. From packet countFrom on, it counts what the
// acquisition thread allocates between its reads; the thread has ended when
// the test reads the count.
class CountingAmplifier : public ScriptedAmplifier {
public:
    int countFrom = 0;
    std::size_t counted = 0;

    int ReadPacketWithChannel(std::span<std::int32_t> packet, int& channel) override {
        countingAllocations = false;  // the device's own waiting is not the packet's work
        counted += allocations;
        allocations = 0;
        if (ScriptedAmplifier::ReadPacketWithChannel(packet, channel) == 0) return 0;
        for (int s = 0; s < packetSize; ++s, ++t_) {
            for (int c = 0; c < channelCount - 1; ++c)
                packet[static_cast<std::size_t>(s * channelCount + c)] = static_cast<std::int32_t>(
                    30000 * std::sin(0.06 * static_cast<double>(t_) + c) + 20000 * std::sin(0.314 * static_cast<double>(t_)));
            packet[static_cast<std::size_t>(s * channelCount + channelCount - 1)] = t_ % (sampleRate / 2) == 7 ? 5 : 0;
        }
        countingAllocations = delivered_++ >= countFrom;
        return 1;
    }

private:
    int delivered_ = 0;
    long t_ = 0;
};

struct AllocationCase {
    const char* name;
    int mode;  // 0 waveforms, 1 impedances
    int channelCount, packetSize, sampleRate;
    friend void PrintTo(const AllocationCase& c, std::ostream* out) { *out << c.name; }
};

class PacketAllocations : public testing::TestWithParam<AllocationCase> {};

TEST_P(PacketAllocations, NoneOnTheAcquisitionThreadOncePacketsFlow) {
    const AllocationCase& c = GetParam();
    TempDir dir;
    FilePlaybackSource playback;
    CountingAmplifier amplifier;
    QWidget view;
    auto* wave = new WaveDisplay(&view);
    auto* impedance = new ImpedanceDisplay(&view);
    view.show();
    for (QWidget* display : {static_cast<QWidget*>(wave), static_cast<QWidget*>(impedance)}) {
        display->setGeometry(0, 0, 1920, 1080);
    }
    QCoreApplication::processEvents();
    DataServer server;
    ASSERT_TRUE(server.Start("127.0.0.1", 0));
    AcquisitionEngine engine(playback, amplifier, EnginePorts{nullptr, wave, impedance, &server});
    AcquisitionSettings settings;
    settings.packetSize = c.packetSize;
    settings.channelCount = c.channelCount;
    settings.sampleRate = c.sampleRate;
    engine.ApplySettings(settings);

    StreamClient client;
    ASSERT_TRUE(client.Connect(server.ListeningPort()));
    ASSERT_TRUE(WaitUntil([&] { return server.ClientConnected(); }));
    server.SetSampleRate(c.sampleRate);
    // Eleven seconds first: the first picture is drawn whole, and every digit
    // of the time labels has been drawn once.
    const int warmUp = 11 * c.sampleRate / c.packetSize;
    amplifier.countFrom = warmUp;
    if (c.mode == 0) engine.StartWaveform();
    else engine.StartImpedance();
    ASSERT_TRUE(engine.OpenRecording(dir.File("counted.eol")));
    // Then six seconds more: a new sweep, time labels, events, repaints. The
    // client takes every packet before the next comes, as a live one would.
    const int packets = warmUp + 6 * c.sampleRate / c.packetSize;
    const std::size_t packetBytes = static_cast<std::size_t>(c.packetSize) * sizeof(SampleRecord);
    for (int n = 1; n <= packets; ++n) {
        if (n == warmUp + 1) {  // the first counted packet: the drawing threads too, from here on
            ASSERT_TRUE(impedance->WaitUntilDrawn());
            watchedThreads[0] = wave->DrawingThreadId();
            watchedThreads[1] = impedance->DrawingThreadId();
        }
        amplifier.Release(1);
        ASSERT_TRUE(amplifier.WaitForRead(n + 1));
        // Drawn before the next comes, as live packets are: a display that
        // fell behind would skip the warm-up's drawing.
        ASSERT_TRUE(wave->WaitUntilDrawn());
        // Impedance frames are recorded, not streamed.
        if (c.mode == 0) {
            ASSERT_TRUE(client.WaitForBytes(n * packetBytes)) << "packet " << n << " never reached the client";
        }
    }
    if (c.mode == 1) {
        client.ReadAvailable();
        EXPECT_TRUE(client.Received().empty());
    }
    QCoreApplication::processEvents();
    engine.StopAcquisition();
    EXPECT_TRUE(wave->WaitUntilDrawn());
    EXPECT_TRUE(impedance->WaitUntilDrawn());
    for (auto& watched : watchedThreads) watched = std::thread::id();

    EXPECT_EQ(amplifier.counted, 0u);
    EXPECT_EQ(watchedAllocations.exchange(0), 0u) << "allocations on the drawing threads";
    const QImage picture = c.mode == 0 ? wave->Snapshot() : impedance->Snapshot();
    EXPECT_EQ(picture.size(), QSize(1920, 1080)) << "the packets were drawn at full size";
}

INSTANTIATE_TEST_SUITE_P(Settings, PacketAllocations,
                         testing::Values(AllocationCase{"Waveforms", 0, 17, 40, 1000},
                                         AllocationCase{"Impedances", 1, 17, 40, 1000},
                                         AllocationCase{"SixtyFourChannelWaveforms", 0, 64, 160, 4000}),
                         [](const testing::TestParamInfo<AllocationCase>& info) { return info.param.name; });

}  // namespace
