// The engine's hand-offs reach the windows: set-up at initialisation, packets
// in waveform mode, impedances in impedance mode, the recording pen; and the
// acquisition thread drawing while the UI thread changes and paints.

#include <gtest/gtest.h>

#include <QSignalSpy>

#include "acquisition/display/display_commands.h"
#include "engine_fixture.h"
#include "image_probe.h"
#include "qt_environment.h"

namespace {

const auto kIsTrace = [](QColor c) { return c.rgb() == WaveRenderer::kTraceColour.rgb(); };
const auto kIsBlack = [](QColor c) { return c.rgb() == QColor(Qt::black).rgb(); };

void WaitForFrames(QSignalSpy& spy, int more) {
    const int target = spy.count() + more;
    QTRY_VERIFY_WITH_TIMEOUT(spy.count() >= target, 10000);
}

TEST(DisplayHandOffs, WaveformModeDrawsScaledPacketsWithUnscaledEvents) {
    EngineFixture f;
    QSignalSpy frames(f.wave, &WaveDisplay::FrameReady);
    f.StartWaveform();
    EXPECT_TRUE(f.wave->isVisible());
    EXPECT_FALSE(f.impedance->isVisible());
    WaitForFrames(frames, 30);  // past the event at 0.5 s
    f.engine.StopAcquisition();
    EXPECT_TRUE(f.host.messages.empty());

    const QImage image = f.wave->Snapshot();
    ASSERT_EQ(image.size(), QSize(890, 640));
    // 10 Hz at ±200 units: the first channel's trace spans about 400 rows.
    int top = 640, bottom = -1;
    for (int y = 0; y < 600; ++y) {
        if (CountInRect(image, QRect(45, y, 800, 1), kIsTrace) == 0) continue;
        top = std::min(top, y);
        bottom = std::max(bottom, y);
    }
    EXPECT_LT(top, 10);
    EXPECT_GT(bottom, 590);
    // Event 7 arrived as a whole number: its red tick stands at 0.5 s (sample 500 → x 100).
    const int tickTop = static_cast<int>(640 * 0.95 - 40) + 1;
    EXPECT_EQ(CountInColumn(image, 45 + 100, tickTop, 599, WaveRenderer::kEventColour), 599 - tickTop + 1);
}

TEST(DisplayHandOffs, RecordingPenFollowsTheRecorderAndStop) {
    EngineFixture f;
    QSignalSpy frames(f.wave, &WaveDisplay::FrameReady);
    f.StartWaveform();
    WaitForFrames(frames, 2);
    ASSERT_TRUE(f.engine.OpenRecording(f.dir.File("rec.eol")));
    WaitForFrames(frames, 3);
    const QImage recording = f.wave->Snapshot();
    EXPECT_GT(CountInRect(recording, QRect(45, 0, 800, 600), kIsBlack), 20) << "black traces while recording";
    f.engine.StopAcquisition();

    // After Stop the next run draws blue again.
    f.StartWaveform();
    WaitForFrames(frames, 3);
    const QImage after = f.wave->Snapshot();
    f.engine.StopAcquisition();
    const int x = static_cast<int>(45 + f.engine.Settings().packetSize * 0.2 * 4);
    EXPECT_GT(CountInRect(after, QRect(45, 0, x - 45, 600), kIsTrace), 0);
}

TEST(DisplayHandOffs, ImpedanceModeDrawsTheMap) {
    EngineFixture f({800, 600});
    QSignalSpy pictures(f.impedance, &ImpedanceDisplay::FrameReady);
    f.StartImpedance();
    EXPECT_TRUE(f.impedance->isVisible());
    EXPECT_FALSE(f.wave->isVisible());
    WaitForFrames(pictures, 2);
    f.engine.StopAcquisition();

    const QImage image = f.impedance->Snapshot();
    ASSERT_EQ(image.size(), QSize(800, 600));
    // Channels never measured hold 2550000: the top colour. The file sources measure channel 10.
    const auto& fp1 = f.engine.ChannelRecords()[0];
    const QPoint corner = *ImpedanceRenderer::SquareCorner(fp1.mapX, fp1.mapY, image.size());
    EXPECT_TRUE(Is(image, corner.x() + 30, corner.y() + 30, ImpedanceRenderer::ScaleColour(63)));
    const auto& o2 = f.engine.ChannelRecords()[10];
    const int o2Impedance = f.engine.IdlePipeline()->Impedances()[10];
    const QPoint measured = *ImpedanceRenderer::SquareCorner(o2.mapX, o2.mapY, image.size());
    const QColor expected = ImpedanceRenderer::ScaleColour(
        ImpedanceRenderer::ColourIndex(o2Impedance, f.impedance->RangeMinimum(), f.impedance->RangeMaximum()));
    EXPECT_TRUE(Is(image, measured.x() + 30, measured.y() + 30, expected));

    // Hovering reads the values; the highest measured one is named.
    const QString o2Value = QString("%1 kΩ").arg(o2Impedance);
    const QString o2Label = QString("%1(11)").arg(QString::fromUtf8(o2.label));
    const std::pair<QPoint, QString> hovers[] = {
        {corner + QPoint(10, 50), "Fp1(1): 未测"},
        {measured + QPoint(10, 50), o2Label + ": " + o2Value},
        {QPoint(2, 2), ""},
    };
    for (const auto& [point, text] : hovers) EXPECT_EQ(f.impedance->ToolTipAt(point), text);
    EXPECT_EQ(f.impedance->Highest(), o2Label + " " + o2Value);
}

// The acquisition thread draws while the UI thread changes gain, time base,
// leads and size, and paints. The thread sanitizer watches this one.
TEST(DisplayHandOffs, CommandsAndPaintsRaceTheAcquisitionThread) {
    EngineFixture f;
    DisplayCommands commands(f.engine, *f.wave, *f.impedance, &f.view);
    QSignalSpy frames(f.wave, &WaveDisplay::FrameReady);
    f.StartWaveform();
    const int target = frames.count() + 25;
    int round = 0;
    while (frames.count() < target) {
        const int ids[] = {command::kDoubleGain, command::kHalveGain,
                           command::kFewerSeconds, command::kMoreSeconds,
                           command::kAutoGain};
        commands.Run(ids[round % 5]);
        std::vector<int> flags(17, 1);
        flags[static_cast<std::size_t>(round % 16)] = 0;
        f.wave->SetChannelFlags(flags);
        if (round % 7 == 0) f.wave->resize(890 - round % 50, 640);
        f.wave->repaint();
        f.wave->update();
        QTest::qWait(5);
        ++round;
    }
    f.engine.StopAcquisition();
    EXPECT_FALSE(f.wave->Snapshot().isNull());
}

}  // namespace
