#pragma once
// A real acquisition engine playing a file the test writes, with the display
// windows as its ports, so the hand-offs run as in the program.

#include <QTest>
#include <QWidget>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "acquisition/engine/acquisition_engine.h"
#include "acquisition/display/impedance_display.h"
#include "acquisition/display/wave_display.h"
#include "support/temp_dir.h"
#include "tests/support/absent_amplifier.h"

struct MessageList : EngineHost {
    void ShowMessage(const std::string& text) override { messages.push_back(text); }
    std::vector<std::string> messages;
};

// 17 values per sample at 1000 samples per second: a 10 Hz wave of ±200 display
// units on every signal channel and event 7 once a second.
inline std::string WritePlaybackFile(const TempDir& dir, int seconds = 4) {
    constexpr int kChannels = 17;
    constexpr double kCountsPerUnit = 1.0 / 0.00073536;
    std::vector<std::int32_t> values;
    for (int t = 0; t < 1000 * seconds; ++t) {
        for (int c = 0; c < kChannels - 1; ++c)
            values.push_back(static_cast<std::int32_t>(200 * kCountsPerUnit * std::sin(2 * M_PI * 10 * t / 1000.0)));
        values.push_back(t % 1000 == 500 ? 7 : 0);
    }
    return WriteSampleFile(dir, "play.eol", values);
}

struct EngineFixture {
    TempDir dir;
    FilePlaybackSource playback;
    AbsentAmplifier amplifier;
    QWidget view;
    WaveDisplay* wave = new WaveDisplay(&view);
    ImpedanceDisplay* impedance = new ImpedanceDisplay(&view);
    MessageList host;
    AcquisitionEngine engine{playback, amplifier, EnginePorts{&host, wave, impedance, nullptr}};

    explicit EngineFixture(QSize size = {890, 640}) {
        view.resize(size);
        wave->setGeometry(0, 0, size.width(), size.height());
        impedance->setGeometry(0, 0, size.width(), size.height());
        view.show();
        AcquisitionSettings settings;
        settings.source = SignalSource::Playback;
        settings.simulatedDataPath = WritePlaybackFile(dir);
        settings.electrodeFilePath = KESTROM_LOC;
        engine.ApplySettings(settings);
    }
    ~EngineFixture() { engine.StopAcquisition(); }

    // Starts and shows the display of the mode, as the view does.
    void StartWaveform() { Show(engine.StartWaveform(), AcquisitionMode::Waveform); }
    void StartImpedance() { Show(engine.StartImpedance(), AcquisitionMode::Impedance); }
    void Show(bool started, AcquisitionMode mode) {
        if (!started) return;
        wave->setVisible(mode == AcquisitionMode::Waveform);
        impedance->setVisible(mode == AcquisitionMode::Impedance);
    }
};
