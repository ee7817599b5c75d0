// scoring-stub [--port N] [--listen ADDRESS]: listens on 127.0.0.1 port 4000
// (or N; 0 picks a free one) and prints each 9-byte command it receives on its
// own line. The port in use is announced on standard error.

#include <cstdio>
#include <iostream>

#include <QCoreApplication>

#include "scoring_stub.h"

int main(int argc, char* argv[]) {
    StubOptions options;
    if (const auto status = HandleCommandLine(StubCommandLine(options), ArgumentsOf(argc, argv), std::cout, std::cerr))
        return *status;

    QCoreApplication app(argc, argv);
    ScoringStub stub([](const QByteArray& command) {
        const QByteArray line = CommandLine(command);
        std::fwrite(line.constData(), 1, static_cast<std::size_t>(line.size()), stdout);
        std::fputc('\n', stdout);
        std::fflush(stdout);
    });
    stub.OnDrop([](const QString& peer) {
        std::fprintf(stderr, "scoring-stub: dropped %s: it sent without pausing\n", peer.toUtf8().constData());
        std::fflush(stderr);
    });
    if (!stub.Listen(options.address, static_cast<quint16>(options.port))) {
        std::fprintf(stderr, "scoring-stub: cannot listen on %s port %d: %s\n",
                     options.address.toString().toUtf8().constData(), options.port,
                     stub.ErrorString().toUtf8().constData());
        return 1;
    }
    std::fprintf(stderr, "scoring-stub listening on port %u\n", unsigned{stub.Port()});
    std::fflush(stderr);
    return app.exec();
}
