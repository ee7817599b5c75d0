// Pallock's command line, as Qt hands it over: UTF-8 decoded.

#include <QStringList>

#include "fuzz/fuzz_input.h"
#include "pallock_options.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    QStringList arguments;
    for (const std::string& arg : Arguments(std::span(data, size))) arguments << QString::fromStdString(arg);
    QString error;
    if (!ParsePallockOptions(arguments, error)) Require(!error.isEmpty());
    return 0;
}
