// scoring-stub [--port N]: listens on port 4000 (or N; 0 picks a free one) and
// prints each 9-byte command it receives on its own line. The port in use is
// announced on standard error.

#include <cstdio>
#include <iostream>

#include <QCoreApplication>

#include "scoring_stub.h"

int main(int argc, char* argv[]) {
    int port = kDefaultStubPort;
    if (const auto status = HandleCommandLine(StubCommandLine(port), ArgumentsOf(argc, argv), std::cout, std::cerr))
        return *status;

    QCoreApplication app(argc, argv);
    ScoringStub stub([](const QByteArray& command) {
        const QByteArray line = CommandLine(command);
        std::fwrite(line.constData(), 1, static_cast<std::size_t>(line.size()), stdout);
        std::fputc('\n', stdout);
        std::fflush(stdout);
    });
    if (!stub.Listen(QHostAddress::Any, static_cast<quint16>(port))) {
        std::fprintf(stderr, "scoring-stub: cannot listen on port %d: %s\n", port,
                     stub.ErrorString().toUtf8().constData());
        return 1;
    }
    std::fprintf(stderr, "scoring-stub listening on port %u\n", unsigned{stub.Port()});
    std::fflush(stderr);
    return app.exec();
}
