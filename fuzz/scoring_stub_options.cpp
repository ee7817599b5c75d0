// scoring-stub's command line.

#include <QStringList>

#include "fuzz/fuzz_input.h"
#include "scoring_stub.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    QStringList arguments;
    for (const std::string& arg : Arguments(std::span(data, size))) arguments << QString::fromStdString(arg);
    quint16 port = 4000;
    QString error;
    if (!ParseScoringStubOptions(arguments, port, error)) Require(!error.isEmpty());
    return 0;
}
