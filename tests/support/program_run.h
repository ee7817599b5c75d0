#pragma once
// Runs a built program to its end, as a script would, and keeps what it said.

#include <gtest/gtest.h>

#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include <fstream>
#include <string>

struct ProgramRun {
    int exitCode = -1;  // -1 when it did not end normally
    QString standardError;
    QString standardOutput;
};

inline ProgramRun RunProgram(const QString& program, const QStringList& arguments,
                             const QProcessEnvironment& environment) {
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
    EXPECT_TRUE(process.waitForFinished(60000)) << program.toStdString();
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromUtf8(process.readAllStandardError()), QString::fromUtf8(process.readAllStandardOutput())};
}

// The environment a test runs a Qt program in: offscreen, its settings in
// folder. Under the thread sanitizer, Qt's own pooled threads (raster
// painting, image conversion) synchronise inside Qt libraries that are not
// instrumented, so their hand-overs are not reported; the programs' own
// cross-thread code is checked in-process, without this.
inline QProcessEnvironment QtProgramEnvironment(const std::string& folder) {
    auto environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    environment.insert("XDG_CONFIG_HOME", QString::fromStdString(folder + "/config"));
#if defined(__SANITIZE_THREAD__)
    const std::string suppressions = folder + "/qt.tsan.supp";
    std::ofstream(suppressions) << "race:libQt6Core.so.6\nrace:libQt6Gui.so.6\nrace:libQt6Widgets.so.6\n";
    environment.insert("TSAN_OPTIONS",
                       environment.value("TSAN_OPTIONS") + " suppressions=" + QString::fromStdString(suppressions));
#endif
    return environment;
}
