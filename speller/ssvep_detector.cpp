#include "ssvep_detector.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdio>

const double SsvepDetector::sampleScale = std::bit_cast<double>(std::uint64_t{0x3F20BBC8E025950B});

namespace {

SsvepResult MakeResult(int stimulus, double value, double threshold) {
    SsvepResult result;
    result.stimulus = stimulus;
    result.value = value;
    result.decided = value > threshold;
    char text[64];
    if (result.decided) {
        std::snprintf(text, sizeof text, "ID01CH00%d", stimulus);
        result.decisionText = text;
    }
    // "No.%d Value:%.3f" with the C locale's decimal point: the program runs
    // under the user's locale, which may write decimal commas.
    std::snprintf(text, sizeof text, "No.%d Value:", stimulus);
    result.resultLine = text;
    const auto [end, error] = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, 3);
    if (error == std::errc()) result.resultLine.append(text, end);
    return result;
}

}  // namespace

SsvepDetector::SsvepDetector()
    : windowBuffer(static_cast<std::size_t>(packetsPerWindow) * valuesPerPacket, 0),
      transformInput(static_cast<fftw_complex*>(fftw_malloc(sizeof(fftw_complex) * windowLength))),
      transformOutput(static_cast<fftw_complex*>(fftw_malloc(sizeof(fftw_complex) * windowLength))) {
    if (!transformInput || !transformOutput) throw std::bad_alloc();
    // The arrays never move, so one plan serves every window. FFTW_ESTIMATE
    // planning leaves the arrays untouched.
    plan.reset(fftw_plan_dft_1d(windowLength, transformInput.get(), transformOutput.get(), FFTW_FORWARD,
                                FFTW_ESTIMATE));
    if (!plan) throw std::bad_alloc();
    Retune(defaultFrequencies);
}

SsvepDetector::~SsvepDetector() = default;

std::optional<int> SsvepDetector::BinFor(double frequency) {
    const double bin = std::floor(2.0 * frequency + 0.5);
    // Written so that NaN fails too.
    if (!(bin >= lowestBin && bin <= highestBin)) return std::nullopt;
    return static_cast<int>(bin);
}

std::optional<SsvepResult> SsvepDetector::AddPacket(std::span<const std::int32_t> packet) {
    if (packet.size() < static_cast<std::size_t>(valuesPerPacket)) return std::nullopt;
    std::copy_n(packet.begin(), valuesPerPacket,
                windowBuffer.begin() + static_cast<std::ptrdiff_t>(packetIndex) * valuesPerPacket);
    ++packetIndex;
    std::optional<SsvepResult> result;
    if (packetIndex == packetsPerWindow) result = Analyse();
    packetIndex %= packetsPerWindow;
    return result;
}

SsvepResult SsvepDetector::Analyse() {
    const int slot = lead - 1;
    for (int k = 0; k < windowLength; ++k) {
        transformInput[k][0] = windowBuffer[static_cast<std::size_t>(k) * slotsPerRecord + slot] * sampleScale;
        transformInput[k][1] = 0.0;
    }
    fftw_execute(plan.get());

    int best = 0;
    double bestValue = 0.0;
    for (int i = 0; i < stimulusCount; ++i) {
        const fftw_complex& bin = transformOutput[targetBins[i]];
        const double value = std::sqrt(bin[0] * bin[0] + bin[1] * bin[1]) / windowLength;
        // Strictly greater: on equal values the lower stimulus number stays.
        if (i == 0 || value > bestValue) {
            best = i;
            bestValue = value;
        }
    }
    return MakeResult(best + 1, bestValue, threshold);
}

bool SsvepDetector::Retune(const Frequencies& frequencies) {
    std::array<int, stimulusCount> bins{};
    for (int i = 0; i < stimulusCount; ++i) {
        const auto bin = BinFor(frequencies[i]);
        if (!bin) return false;
        bins[i] = *bin;
    }
    targetBins = bins;
    return true;
}

SsvepDetector::Frequencies SsvepDetector::AnalysedFrequencies() const {
    Frequencies frequencies{};
    for (int i = 0; i < stimulusCount; ++i) frequencies[i] = targetBins[i] * 0.5;
    return frequencies;
}

bool SsvepDetector::SetLead(int newLead) {
    if (newLead < firstLead || newLead > lastLead) return false;
    lead = newLead;
    return true;
}
