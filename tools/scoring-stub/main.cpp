// scoring-stub [--port N]: listens on port 4000 (or N; 0 picks a free one) and
// prints each 9-byte command it receives on its own line. The port in use is
// announced on standard error.

#include <cstdio>

#include <QCoreApplication>

#include "scoring_stub.h"

namespace {

constexpr quint16 defaultPort = 4000;
const char* const usage = "usage: scoring-stub [--port N]   (N from 0 to 65535, default 4000)\n";

int Refuse(const QString& why) {
    std::fprintf(stderr, "scoring-stub: %s\n%s", why.toUtf8().constData(), usage);
    return 2;
}

}  // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    quint16 port = defaultPort;
    QString error;
    if (!ParseScoringStubOptions(app.arguments().mid(1), port, error)) return Refuse(error);

    ScoringStub stub([](const QByteArray& command) {
        const QByteArray line = CommandLine(command);
        std::fwrite(line.constData(), 1, static_cast<std::size_t>(line.size()), stdout);
        std::fputc('\n', stdout);
        std::fflush(stdout);
    });
    if (!stub.Listen(QHostAddress::Any, port)) {
        std::fprintf(stderr, "scoring-stub: cannot listen on port %u: %s\n", unsigned{port},
                     stub.ErrorString().toUtf8().constData());
        return 1;
    }
    std::fprintf(stderr, "scoring-stub listening on port %u\n", unsigned{stub.Port()});
    std::fflush(stderr);
    return app.exec();
}
