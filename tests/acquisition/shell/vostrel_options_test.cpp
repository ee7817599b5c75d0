#include "acquisition/shell/vostrel_options.h"

#include <gtest/gtest.h>

#include <QSettings>

#include "acquisition/shell/recent_file_list.h"
#include "support/temp_dir.h"

namespace {

bool Parse(std::vector<std::string> args, VostrelOptions& options) {
    std::string error;
    const bool ok = ParseVostrelOptions(args, options, error);
    EXPECT_EQ(ok, error.empty()) << error;
    return ok;
}

TEST(VostrelOptions, ReadsAScriptedSession) {
    VostrelOptions options;
    ASSERT_TRUE(Parse({"--amplifier", "emulator:seed=1", "--play", "a.EOL", "--electrodes", "m.loc", "--serve",
                       "--listen", "127.0.0.1", "--port", "0", "--start", "--record", "/tmp/x.EOL", "--overwrite",
                       "--quit-after", "2.5", "--geometry", "800x600+10+20", "--marker-port", "0", "--uv-per-count",
                       "0.0224", "--lang", "en"},
                      options));
    EXPECT_EQ(options.language, InterfaceLanguage::English);
    EXPECT_EQ(options.markerPort, 0);
    EXPECT_EQ(options.microvoltsPerCount, 0.0224);
    EXPECT_EQ(options.amplifier, "emulator:seed=1");
    EXPECT_EQ(options.playFile, "a.EOL");
    EXPECT_EQ(options.electrodeFile, "m.loc");
    EXPECT_TRUE(options.serve);
    EXPECT_EQ(options.listenAddress, "127.0.0.1");
    EXPECT_EQ(options.port, 0);
    EXPECT_EQ(options.start, VostrelOptions::StartMode::Waveform);
    EXPECT_EQ(options.recordFile, "/tmp/x.EOL");
    EXPECT_TRUE(options.overwrite);
    EXPECT_EQ(options.quitAfterSeconds, 2.5);
    ASSERT_TRUE(options.geometry);
    EXPECT_EQ(options.geometry->width, 800);
    EXPECT_EQ(options.geometry->y, 20);

    VostrelOptions impedance;
    ASSERT_TRUE(Parse({"--impedance", "--amplifier", "serial:/dev/ttyUSB0"}, impedance));
    EXPECT_EQ(impedance.start, VostrelOptions::StartMode::Impedance);
    // Chinese unless asked otherwise, whatever the locale.
    EXPECT_EQ(impedance.language, InterfaceLanguage::Chinese);
}

TEST(VostrelOptions, RefusesBadValues) {
    const std::vector<std::vector<std::string>> bad{
        {"--amplifier"},         {"--play"},
        {"--port", "65536"},          {"--port", "-1"},        {"--port", "12x"},
        {"--quit-after", "soon"},     {"--quit-after", "-1"},  {"--quit-after", "nan"},
        {"--start", "--impedance"},   {"--record", "x.EOL"},   {"--bogus"},
        {"--electrodes", ""},
        {"--marker-port", "65536"},   {"--marker-port", "x"},  {"--uv-per-count", "0"},
        {"--uv-per-count", "-1"},     {"--uv-per-count", "inf"},
        {"--lang", "fr"},             {"--lang", "EN"},        {"--lang"},
    };
    for (const auto& args : bad) {
        VostrelOptions options;
        std::string error;
        EXPECT_FALSE(ParseVostrelOptions(args, options, error)) << args[0];
        EXPECT_FALSE(error.empty()) << args[0];
    }
}

TEST(RecentFileList, KeepsFourEntriesNewestFirstInTheSettingsStore) {
    TempDir dir;
    QSettings settings(QString::fromStdString(dir.File("vostrel.ini")), QSettings::IniFormat);
    RecentFileList list;
    for (const char* path : {"a", "b", "c", "d", "e", "c"}) list.Add(path);
    EXPECT_EQ(list.Files(), QStringList({"c", "e", "d", "b"}));
    list.Save(settings);
    EXPECT_EQ(settings.value("Recent File List/File1").toString(), "c");
    EXPECT_EQ(settings.value("Recent File List/File4").toString(), "b");

    RecentFileList loaded;
    loaded.Load(settings);
    EXPECT_EQ(loaded.Files(), list.Files());
}

}  // namespace
