#include "pallock_app.h"

#include <algorithm>
#include <cmath>
#include <iostream>

#include <QApplication>
#include <QTimer>

#include "common/qt_desktop.h"
#include "common/version.h"
#include "pallock_dlg.h"
#include "pallock_options.h"

int ReportLinkFailures(const CPallockDlg& dialog, std::ostream& err) {
    const std::pair<const char*, QString> links[] = {{"the acquisition program's stream", dialog.AmplifierFailure()},
                                                     {"the scoring system", dialog.ScoringFailure()}};
    int status = 0;
    for (const auto& [what, failure] : links) {
        if (failure.isEmpty()) continue;
        err << kPallockProgram << ": cannot reach " << what << " at " << failure.toStdString() << std::endl;
        status = CPallockApp::kLinkFailed;
    }
    return status;
}

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
    QApplication::setApplicationVersion(QString::fromLatin1(kWorkstationVersion));
    InstallInterfaceLanguage(app, options->language, QStringLiteral("pallock"));
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
    int status = 0;
    if (options->quitAfterSeconds) {
        // Clamped before rounding: a huge number of seconds must not wrap to 0.
        const auto ms = static_cast<int>(std::llround(std::min(*options->quitAfterSeconds * 1000.0, 2.0e9)));
        // A scripted end: no question, even while connected. A link asked for
        // and not there at the end fails the run, and says which and why.
        const bool linksAsked = options->connect;
        QTimer::singleShot(ms, &dialog, [&dialog, &status, linksAsked] {
            if (linksAsked) status = ReportLinkFailures(dialog, std::cerr);
            dialog.reject();
        });
    }
    const int ended = app.exec();
    return status != 0 ? status : ended;
}
