// scoring-stub's command line: whatever it is given, a refusal says why and
// an accepted port is one it can listen on.

#include "fuzz/fuzz_input.h"
#include "scoring_stub.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    StubOptions options;
    const CommandLineOutcome outcome = ParseCommandLine(StubCommandLine(options), Arguments(std::span(data, size)));
    if (outcome.error.empty()) Require(options.port >= 0 && options.port <= 65535 && !options.address.isNull());
    return 0;
}
