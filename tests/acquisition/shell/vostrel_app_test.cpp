#include "acquisition/shell/vostrel_app.h"

#include <gtest/gtest.h>

#include <QSettings>

#include "acquisition/recording/eol_file.h"
#include "acquisition/shell/command_texts.h"
#include "acquisition/shell/main_frame.h"
#include "acquisition/shell/vostrel_view.h"
#include "support/temp_dir.h"

namespace {

TEST(VostrelApp, OpensTheTitledMaximisedWindowWithThePlayedFilesSettings) {
    TempDir dir;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, QString::fromStdString(dir.File("config")));
    const auto play = dir.File("play.EOL");
    {
        EolFile file;
        ASSERT_TRUE(file.Create(play));
        ASSERT_TRUE(file.WriteHeader(500, 20, 0.5));
    }
    VostrelOptions options;
    options.playFile = play;
    CVostrelApp app(options);
    std::string error;
    ASSERT_TRUE(app.Prepare(error)) << error;
    ASSERT_TRUE(app.InitInstance());

    CMainFrame* frame = app.MainFrame();
    EXPECT_EQ(frame->windowTitle(), "脑电采集");
    EXPECT_TRUE(frame->windowState() & Qt::WindowMaximized);
    EXPECT_FALSE(frame->windowIcon().isNull());
    EXPECT_TRUE(frame->View()->Commands().IsEnabled(command::kAbout));

    const AcquisitionSettings played{.source = SignalSource::Playback, .packetSize = 20, .channelCount = 21,
                                     .sampleRate = 500, .scale = 0.5, .simulatedDataPath = play};
    EXPECT_EQ(frame->View()->Engine().Settings(), played);
    app.ExitInstance();
    EXPECT_EQ(app.MainFrame(), nullptr);
}

TEST(VostrelApp, RefusesAPlayFileWhoseSettingsCannotBePlayed) {
    TempDir dir;
    const auto play = dir.File("odd.EOL");
    {
        EolFile file;
        ASSERT_TRUE(file.Create(play));
        ASSERT_TRUE(file.WriteHeader(1000, 42, 0.5));  // not a multiple of 4
    }
    VostrelOptions options;
    options.playFile = play;
    CVostrelApp app(options);
    std::string error;
    EXPECT_FALSE(app.Prepare(error));
    EXPECT_FALSE(error.empty());
}

}  // namespace
