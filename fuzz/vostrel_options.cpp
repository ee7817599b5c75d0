// Vostrel's command line: whatever it accepts is usable as it stands.

#include <cmath>

#include <QString>

#include "acquisition/server/data_server.h"
#include "acquisition/shell/vostrel_options.h"
#include "fuzz/fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    VostrelOptions options;
    std::string error;
    if (!ParseVostrelOptions(Arguments(std::span(data, size)), options, error)) {
        Require(!error.empty());
        return 0;
    }
    Require(!options.port || (*options.port >= 0 && *options.port <= 65535));
    Require(!options.quitAfterSeconds || (std::isfinite(*options.quitAfterSeconds) && *options.quitAfterSeconds >= 0));
    // --help prints and ends the program, so options that only make sense
    // together are not cross-checked then.
    Require(options.help || options.recordFile.empty() || options.start != VostrelOptions::StartMode::None);
    Require(DataServer::IsValidListenAddress(QString::fromStdString(options.listenAddress)));
    return 0;
}
