#include <QApplication>
#include <iostream>
#include <string>
#include <vector>

#include "acquisition/shell/vostrel_app.h"
#include "acquisition/shell/vostrel_options.h"

namespace {
int UsageError(const std::string& error) {
    std::cerr << "vostrel: " << error << "\n" << kVostrelUsage;
    return 2;
}
}  // namespace

int main(int argc, char** argv) {
    QApplication qt(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    std::vector<std::string> args;
    for (qsizetype i = 1; i < arguments.size(); ++i) args.push_back(arguments[i].toStdString());

    VostrelOptions options;
    std::string error;
    if (!ParseVostrelOptions(args, options, error)) return UsageError(error);
    if (options.help) {
        std::cout << kVostrelUsage;
        return 0;
    }

    CVostrelApp app(options);
    if (!app.Prepare(error)) return UsageError(error);
    if (!app.InitInstance()) return 1;
    const int status = qt.exec();
    app.ExitInstance();
    return status;
}
