// Vostrel's command line.

#include "acquisition/shell/vostrel_options.h"
#include "fuzz/fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    VostrelOptions options;
    std::string error;
    if (!ParseVostrelOptions(Arguments(std::span(data, size)), options, error)) Require(!error.empty());
    return 0;
}
