// Every reader of a file the user names, fed what is no file to read: a FIFO
// nobody writes (which would block a plain open), a device that never ends and
// a directory. Each refuses at once and, where it gives a reason, names it.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QComboBox>
#include <QPushButton>
#include <QString>

#include <string>
#include <vector>

#include "acquisition/electrodes/electrode_file.h"
#include "acquisition/engine/file_playback_source.h"
#include "acquisition/recording/eol_file.h"
#include "acquisition/settings/settings_dlg.h"
#include "acquisition/settings/settings_values.h"
#include "support/temp_dir.h"

namespace {

struct Input {
    const char* name;
    std::string (*make)(const TempDir&);
    const char* cause;
};

const Input kInputs[] = {
    {"fifo",
     [](const TempDir& d) {
         const std::string p = d.File("pipe.EOL");
         ::mkfifo(p.c_str(), 0600);
         return p;
     },
     "not a regular file"},
    {"device", [](const TempDir&) { return std::string("/dev/zero"); }, "not a regular file"},
    {"directory", [](const TempDir& d) { return d.File(""); }, "Is a directory"},
};

// True when the reader refused path; why holds what it told the user, if anything.
struct Reader {
    const char* name;
    bool (*refuses)(const std::string& path, std::string& why);
};

const Reader kReaders[] = {
    {"playback",
     [](const std::string& path, std::string&) { return FilePlaybackSource().OpenFile(40, 21, 1000, path) == 0; }},
    {"header",
     [](const std::string& path, std::string& why) {
         EolHeader header;
         return !ReadEolHeader(path, header, &why);
     }},
    {"play option",
     [](const std::string& path, std::string& why) {
         AcquisitionSettings settings;
         return !PlaybackSettings(path, settings, why);
     }},
    {"recording reader", [](const std::string& path, std::string& why) { return !EolReader().Open(path, why); }},
    {"electrodes",
     [](const std::string& path, std::string& why) {
         std::vector<ChannelRecord> records(17);
         return ReadElectrodeLocations(records, path, &why) == 0;
     }},
    {"header import",
     [](const std::string& path, std::string& why) {
         const QString chosen = QString::fromStdString(path);
         CSettingsDlg dialog(
             nullptr, [&](QWidget*, const QString&) { return chosen; },
             [&](QWidget*, const QString& text) { why = text.toStdString(); });
         // File playback, the choice whose data file is imported.
         qobject_cast<QComboBox*>(dialog.Control(CSettingsDlg::ControlId::kAmplifierTypeId))->setCurrentIndex(0);
         qobject_cast<QPushButton*>(dialog.Control(CSettingsDlg::ControlId::kSimulatedBrowseId))->click();
         return !dialog.scale.has_value() && why.find("数据文件打开失败") != std::string::npos;
     }},
};

void PrintTo(const Input& input, std::ostream* out) { *out << input.name; }
void PrintTo(const Reader& reader, std::ostream* out) { *out << reader.name; }

using Case = std::tuple<Reader, Input>;

class BoundedInputs : public testing::TestWithParam<Case> {};

TEST_P(BoundedInputs, RefusedAtOnceWithTheCause) {
    const auto& [reader, input] = GetParam();
    TempDir dir;
    const std::string path = input.make(dir);
    std::string why;
    EXPECT_TRUE(reader.refuses(path, why)) << path;
    if (!why.empty()) {
        EXPECT_NE(why.find(input.cause), std::string::npos) << why;
    }
}

INSTANTIATE_TEST_SUITE_P(Files, BoundedInputs, testing::Combine(testing::ValuesIn(kReaders), testing::ValuesIn(kInputs)),
                         [](const auto& info) {
                             std::string name = std::string(std::get<0>(info.param).name) + "_" +
                                                std::get<1>(info.param).name;
                             for (char& ch : name) if (ch == ' ') ch = '_';
                             return name;
                         });

// A recording named onto a FIFO nobody reads fails instead of waiting for a reader.
TEST(BoundedOutputs, RecordingOntoAFifoWithoutReaderFailsAtOnce) {
    TempDir dir;
    const std::string path = dir.File("pipe.EOL");
    ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
    EolFile file;
    EXPECT_FALSE(file.Create(path));
}

}  // namespace
