// Hosts the display windows on a real engine for a person to look at (and for
// screenshots): plays a file written here with a recognisable signal.
//
//   display_preview wave|impedance|leads|range [--quit-after SECONDS]

#include <QApplication>
#include <QTimer>
#include <QWidget>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "acquisition/display/impedance_display.h"
#include "acquisition/display/impedance_range_dialog.h"
#include "acquisition/display/lead_selection_dialog.h"
#include "acquisition/display/wave_display.h"
#include "acquisition/engine/acquisition_engine.h"
#include "acquisition/recording/eol_file.h"
#include "tests/support/absent_amplifier.h"

namespace {

class Host : public EngineHost {
public:
    void ShowMessage(const std::string& text) override { std::printf("%s\n", text.c_str()); }
};

// 20 seconds at 1000 samples per second, 17 values per sample after the
// 200-byte header: background noise, 50 Hz hum on every channel, 10 Hz alpha
// on O1 and O2 (channels 8 and 9), and an event code every 1.5 seconds.
std::string WritePreviewFile() {
    const std::string path = "/tmp/display_preview.eol";
    constexpr double kCountsPerUnit = 1.0 / 0.00073536;
    std::vector<std::int32_t> values;
    std::uint32_t noise = 12345;
    const auto random = [&noise] {
        noise = noise * 1664525u + 1013904223u;
        return static_cast<double>(noise >> 8) / (1u << 24) - 0.5;
    };
    for (int t = 0; t < 20000; ++t) {
        const double s = t / 1000.0;
        for (int c = 0; c < 16; ++c) {
            double v = 4 * std::sin(2 * M_PI * (3 + c * 0.7) * s + c) + 3 * random() + 12 * std::sin(2 * M_PI * 50 * s);
            if (c == 8 || c == 9) v += 14 * std::sin(2 * M_PI * 10 * s + (c == 9 ? 0.4 : 0));
            values.push_back(static_cast<std::int32_t>(v * kCountsPerUnit));
        }
        values.push_back(t % 1500 == 700 ? 1 + (t / 1500) % 5 : 0);
    }
    std::string bytes(eol::kHeaderRegionSize, '\0');
    bytes.append(reinterpret_cast<const char*>(values.data()), values.size() * sizeof(std::int32_t));
    if (std::FILE* f = std::fopen(path.c_str(), "wb")) {
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
    }
    return path;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    const QString mode = args.size() > 1 ? args[1] : "wave";
    const int quitAfter = args.indexOf("--quit-after") > 0 ? args[args.indexOf("--quit-after") + 1].toInt() : 0;

    FilePlaybackSource playback;
    AbsentAmplifier amplifier;
    QWidget view;
    view.setWindowTitle("Vostrel display preview");
    view.resize(1000, 700);
    auto* wave = new WaveDisplay(&view);
    auto* impedance = new ImpedanceDisplay(&view);
    wave->setGeometry(0, 0, 1000, 700);
    impedance->setGeometry(0, 0, 1000, 700);
    impedance->hide();
    Host host;
    AcquisitionEngine engine(playback, amplifier, EnginePorts{&host, wave, impedance, nullptr});
    AcquisitionSettings settings;
    settings.source = SignalSource::Playback;
    settings.simulatedDataPath = WritePreviewFile();
    engine.ApplySettings(settings);
    view.show();

    if (mode == "impedance") {
        // A map of measurements, in kΩ, without a run: the values are the picture.
        engine.InitialiseAcquisition();
        const int measured[] = {3, 8, 12, 20, 27, 35, 41, 50, 56, 62, 66, 70, 78, 85, 93, 2550000, 0};
        wave->hide();
        impedance->show();
        impedance->ShowImpedances(measured);
    } else {
        engine.StartWaveform();
    }

    // Lives as long as the dialog, which edits it.
    std::vector<int> flags(engine.ChannelRecords().size(), 1);
    if (mode == "leads") {
        flags[5] = 0;
        flags[12] = 0;
        const auto records = engine.ChannelRecords();
        auto* dialog = new CLeadSelectionDialog(flags, records, static_cast<int>(records.size()) - 1, &view);
        dialog->move(view.geometry().center() - dialog->rect().center());
        dialog->show();
    } else if (mode == "range") {
        auto* dialog = new CImpedanceRangeDialog(impedance->RangeMinimum(), impedance->RangeMaximum(), &view);
        dialog->move(view.geometry().center() - dialog->rect().center());
        dialog->show();
    }
    if (quitAfter > 0) QTimer::singleShot(quitAfter * 1000, &app, &QApplication::quit);
    const int status = app.exec();
    engine.StopAcquisition();
    return status;
}
