#include "acquisition/shell/vostrel_view.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QSignalSpy>
#include <QTest>
#include <thread>

#include "support/scripted_amplifier.h"
#include "acquisition/shell/command_texts.h"
#include "support/temp_dir.h"

namespace {

struct Messages {
    std::vector<QString> texts;
    std::vector<std::thread::id> threads;
};

CVostrelView::MessagePresenter RecordInto(Messages& messages) {
    return [&messages](QWidget*, const QString& text) {
        messages.texts.push_back(text);
        messages.threads.push_back(std::this_thread::get_id());
    };
}

TEST(VostrelView, MakesTwoDisplayWindowsThatFillItAndShowsTheOneOfTheMode) {
    FilePlaybackSource playback;
    ScriptedAmplifier amplifier;
    CVostrelView view(playback, amplifier);
    view.resize(640, 480);
    view.show();
    ASSERT_NE(view.WaveWindow(), nullptr);
    ASSERT_NE(view.ImpedanceWindow(), nullptr);
    EXPECT_EQ(view.WaveWindow()->objectName(), "Vid_Irader  Control");
    EXPECT_EQ(view.WaveWindow()->geometry(), QRect(0, 0, 640, 480));
    EXPECT_EQ(view.ImpedanceWindow()->geometry(), QRect(0, 0, 640, 480));
    EXPECT_TRUE(view.WaveWindow()->isVisible());
    EXPECT_FALSE(view.ImpedanceWindow()->isVisible());

    view.Commands().Trigger(command::kImpedance);
    EXPECT_FALSE(view.WaveWindow()->isVisible());
    EXPECT_TRUE(view.ImpedanceWindow()->isVisible());
    view.Commands().Trigger(command::kStop);

    // Stop leaves the impedance map up; a resize keeps to it.
    view.resize(300, 200);
    QCoreApplication::processEvents();
    EXPECT_EQ(view.ImpedanceWindow()->geometry(), QRect(0, 0, 300, 200));
    EXPECT_EQ(view.WaveWindow()->geometry(), QRect(0, 0, 300, 200));
    EXPECT_TRUE(view.ImpedanceWindow()->isVisible());
    EXPECT_FALSE(view.WaveWindow()->isVisible());
}

TEST(VostrelView, AnAmplifierThatCannotBeOpenedIsReportedAndStartCanBeTriedAgain) {
    FilePlaybackSource playback;
    ScriptedAmplifier amplifier;
    amplifier.openSucceeds = false;  // no amplifier attached
    CVostrelView view(playback, amplifier);
    Messages messages;
    view.SetMessagePresenter(RecordInto(messages));

    EXPECT_TRUE(view.Commands().Trigger(command::kStart));
    EXPECT_EQ(messages.texts, std::vector<QString>{"放大器打开失败"});
    EXPECT_FALSE(view.Engine().Running());
    EXPECT_TRUE(view.Commands().IsEnabled(command::kStart));
    EXPECT_TRUE(view.Commands().Trigger(command::kStart));
    EXPECT_EQ(messages.texts.size(), 2u);
}

TEST(VostrelView, MessagesFromAnotherThreadAreShownLaterOnTheUiThread) {
    FilePlaybackSource playback;
    ScriptedAmplifier amplifier;
    CVostrelView view(playback, amplifier);
    Messages messages;
    view.SetMessagePresenter(RecordInto(messages));

    std::thread([&view] { view.ShowMessage("数据写入失败"); }).join();
    EXPECT_TRUE(messages.texts.empty());
    QTRY_COMPARE(messages.texts.size(), std::size_t{1});
    EXPECT_EQ(messages.texts[0], "数据写入失败");
    EXPECT_EQ(messages.threads[0], std::this_thread::get_id());
}

TEST(VostrelView, DestroyingItStopsAcquisitionAndEndsTheRecording) {
    TempDir dir;
    FilePlaybackSource playback;
    ScriptedAmplifier amplifier;
    const auto path = dir.File("closing.EOL");
    {
        CVostrelView view(playback, amplifier);
        ASSERT_TRUE(view.Commands().Trigger(command::kStart));
        ASSERT_TRUE(view.SaveData().RecordTo(path));
        amplifier.Release(2);
        ASSERT_TRUE(amplifier.WaitForRead(3));
        EXPECT_EQ(amplifier.Closes(), 0);
    }
    // The thread was joined and the device closed before the view went.
    EXPECT_EQ(amplifier.Closes(), 1);
    EXPECT_EQ(ReadAllBytes(path).size(), 200u + 2 * 3360u);
}

TEST(VostrelView, DestroyingAnIdleViewTouchesNoDevice) {
    FilePlaybackSource playback;
    ScriptedAmplifier amplifier;
    { CVostrelView view(playback, amplifier); }
    EXPECT_EQ(amplifier.Opens(), 0);
    EXPECT_EQ(amplifier.Closes(), 0);
}

}  // namespace
