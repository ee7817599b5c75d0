#include <QApplication>
#include <iostream>
#include <string>

#include "acquisition/shell/vostrel_app.h"
#include "acquisition/shell/vostrel_options.h"
#include "common/command_line.h"
#include "common/qt_desktop.h"
#include "common/version.h"

int main(int argc, char** argv) {
    // Everything the command line decides is settled before the GUI exists,
    // so --help and refusals need no display.
    VostrelOptions options;
    std::string error;
    if (!ParseVostrelOptions(ArgumentsOf(argc, argv), options, error))
        return ReportUsageError(kVostrelProgram, error, std::cerr);
    if (options.help) {
        std::cout << VostrelHelpText() << std::flush;
        return 0;
    }
    CVostrelApp app(options);
    if (!app.Prepare(error)) return ReportUsageError(kVostrelProgram, error, std::cerr);

    QApplication qt(argc, argv);
    QApplication::setApplicationVersion(QString::fromLatin1(kWorkstationVersion));
    InstallInterfaceLanguage(qt, options.language, QStringLiteral("vostrel"));
    const int status = app.InitInstance() ? qt.exec() : 1;
    // The windows go while the GUI still exists.
    app.ExitInstance();
    return status;
}
