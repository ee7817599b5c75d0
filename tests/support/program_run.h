#pragma once
// Runs a built program to its end, as a script would, and keeps what it said.

#include <gtest/gtest.h>

#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

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
