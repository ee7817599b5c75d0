#include "pallock_app.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include <QApplication>
#include <QTimer>

#include "pallock_dlg.h"
#include "pallock_options.h"

int CPallockApp::Run(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QString error;
    const auto options = ParsePallockOptions(app.arguments().mid(1), error);
    if (!options) {
        std::fprintf(stderr, "pallock: %s\n%s", error.toUtf8().constData(), pallockUsage);
        return 2;
    }

    CPallockDlg dialog;
    dialog.SetEchoToStdout(options->verbose);
    dialog.ApplyFields(options->fields);
    QObject::connect(&dialog, &QDialog::finished, &app, &QApplication::quit);
    dialog.show();

    if (options->connect) {
        QTimer::singleShot(0, &dialog, [&dialog] {
            dialog.RunCommand(CPallockDlg::IDC_CONNECT_AMPLIFIER);
            dialog.RunCommand(CPallockDlg::IDC_CONNECT_SCORING);
        });
    }
    if (options->quitAfterSeconds) {
        const auto ms = static_cast<int>(std::min(std::llround(*options->quitAfterSeconds * 1000.0), 2'000'000'000LL));
        QTimer::singleShot(ms, &dialog, &QDialog::reject);
    }
    return app.exec();
}
