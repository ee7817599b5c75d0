// Another program's recording (EDF, BDF, GDF) as ssvep-eval and Vostrel's
// playback read it: the header checked, opened through libbiosig, the first
// signals and the events read. Whatever the bytes, a refusal says why and
// nothing crashes, hangs or asks for memory out of proportion to the file.

#include <vector>

#include "acquisition/foreign/foreign_recording.h"
#include "fuzz/fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const MemoryFile file(std::span(data, size));
    std::string error;
    const auto recording = ForeignRecording::Open(file.Path(), error);
    if (!recording) {
        Require(!error.empty());
        return 0;
    }
    std::vector<int> chosen;
    for (std::size_t c = 0; c < recording->Channels().size() && chosen.size() < 16; ++c) {
        const ForeignChannel& channel = recording->Channels()[c];
        if (channel.data && channel.sameRate) chosen.push_back(static_cast<int>(c));
    }
    Eigen::MatrixXd samples;
    if (recording->ReadSamples(chosen, samples, error)) Require(samples.cols() == static_cast<Eigen::Index>(chosen.size()));
    return 0;
}
