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

// Shows the window the engine names, as the view does.
class WindowHost : public EngineHost {
public:
    WindowHost(QWidget& wave, QWidget& impedance) : wave_(wave), impedance_(impedance) {}
    void ShowDisplay(int shownWindow) override {
        wave_.setVisible(shownWindow == 0);
        impedance_.setVisible(shownWindow == 1);
    }
    void RepaintView() override {}
    void ShowMessage(const std::string& text) override { messages.push_back(text); }
    std::vector<std::string> messages;

private:
    QWidget& wave_;
    QWidget& impedance_;
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
    WindowHost host{*wave, *impedance};
    AcquisitionEngine engine{playback, amplifier, EnginePorts{&host, wave, impedance, nullptr}};

    explicit EngineFixture(QSize size = {890, 640}) {
        view.resize(size);
        wave->setGeometry(0, 0, size.width(), size.height());
        impedance->setGeometry(0, 0, size.width(), size.height());
        view.show();
        AcquisitionSettings settings;
        settings.amplifierType = 0;
        settings.simulatedDataPath = WritePlaybackFile(dir);
        settings.electrodeFilePath = KESTROM_LOC;
        engine.ApplySettings(settings);
    }
    ~EngineFixture() { engine.StopAcquisition(); }
};
