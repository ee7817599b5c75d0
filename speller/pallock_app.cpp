#include "pallock_app.h"

#include <algorithm>
#include <cmath>
#include <iostream>

#include <QApplication>
#include <QTimer>

#include "common/qt_desktop.h"
#include "pallock_dlg.h"
#include "pallock_options.h"

int CPallockApp::Run(int argc, char* argv[]) {
    QStringList arguments;
    for (int i = 1; i < argc; ++i) arguments.push_back(QString::fromLocal8Bit(argv[i]));
    QString error;
    const auto options = ParsePallockOptions(arguments, error);
    if (!options) return ReportUsageError(kPallockProgram, error.toStdString(), std::cerr);
    if (options->help) {
        std::cout << PallockHelpText() << std::flush;
        return 0;
    }

    QApplication app(argc, argv);
    LoadQtChineseTranslation(app);
    CPallockDlg dialog;
    dialog.SetEchoToStdout(options->verbose);
    dialog.ApplyFields(options->fields);
    QObject::connect(&dialog, &QDialog::finished, &app, &QApplication::quit);
    if (options->position) PlaceWindow(dialog, *options->position);
    dialog.show();

    if (options->connect) {
        QTimer::singleShot(0, &dialog, [&dialog] {
            dialog.RunCommand(CPallockDlg::IDC_CONNECT_AMPLIFIER);
            dialog.RunCommand(CPallockDlg::IDC_CONNECT_SCORING);
        });
    }
    if (options->quitAfterSeconds) {
        const auto ms = static_cast<int>(std::min(std::llround(*options->quitAfterSeconds * 1000.0), 2'000'000'000LL));
        // A scripted end: no question, even while connected.
        QTimer::singleShot(ms, &dialog, &QDialog::reject);
    }
    return app.exec();
}
