#include "acquisition/engine/signal_conditioning.h"

#include "common/truncate.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

double PowerLineCanceller::StepFor(int packetSize) {
    if (packetSize <= 0) return kStepSize;
    // The ratio first: at kStepPacketSize it is exactly 1.
    return kStepSize * (static_cast<double>(kStepPacketSize) / packetSize);
}

void PowerLineCanceller::BuildCanceller(int packetSize, int channelCount, int sampleRate) {
    packetSize_ = packetSize > 0 ? packetSize : 0;
    channelCount_ = channelCount > 0 ? channelCount : 0;
    step_ = StepFor(packetSize_);
    referenceTable.assign(static_cast<std::size_t>(packetSize_) * 2, 0.0);
    cancellerWeights.assign(static_cast<std::size_t>(channelCount_) * 2, 0.0);
    for (int t = 0; t < packetSize_; ++t) {
        const double theta = t * kReferenceRadiansPerSecond / sampleRate;
        referenceTable[2 * t] = std::cos(theta);
        referenceTable[2 * t + 1] = std::sin(theta);
    }
}

void PowerLineCanceller::CancelPowerLine(std::span<const std::int32_t> input, std::span<double> output) {
    const int P = packetSize_;
    const int C = channelCount_;
    const std::size_t needed = static_cast<std::size_t>(P) * static_cast<std::size_t>(C);
    if (input.size() < needed || output.size() < needed) return;
    double* w = cancellerWeights.data();
    const double* ref = referenceTable.data();

    for (int c = 0; c < C - 1; ++c) {
        const double wCos = w[c];
        const double wSin = w[C + c];
        double sumCos = 0.0;
        double sumSin = 0.0;
        for (int t = 0; t < P; ++t) {
            const std::size_t i = static_cast<std::size_t>(t) * C + c;
            const double y = wCos * ref[2 * t] + wSin * ref[2 * t + 1];
            const double e = input[i] - y;
            output[i] = e;
            sumCos += ref[2 * t] * e;
            sumSin += ref[2 * t + 1] * e;
        }
        w[c] = wCos + step_ * sumCos;
        w[C + c] = wSin + step_ * sumSin;
    }
    if (C > 0) {
        for (int t = 0; t < P; ++t) {
            const std::size_t i = static_cast<std::size_t>(t) * C + (C - 1);
            output[i] = static_cast<double>(input[i]);
        }
    }
}

void ScaleSignalChannels(std::span<double> packet, int packetSize, int channelCount, double scale) {
    if (channelCount <= 0 || packetSize <= 0) return;
    const std::size_t needed = static_cast<std::size_t>(packetSize) * static_cast<std::size_t>(channelCount);
    if (packet.size() < needed) return;
    for (int t = 0; t < packetSize; ++t) {
        double* sample = packet.data() + static_cast<std::size_t>(t) * channelCount;
        for (int c = 0; c < channelCount - 1; ++c) sample[c] *= scale;
    }
}


ImpedanceEstimate EstimateImpedance(std::span<const std::int32_t> input, int packetSize, int channelCount, int d) {
    ImpedanceEstimate result;
    double A = 0.0;
    double B = 0.0;
    if (packetSize > 0 && channelCount > 0 && d >= 0 && d < channelCount &&
        input.size() >= static_cast<std::size_t>(packetSize) * static_cast<std::size_t>(channelCount)) {
        auto x = [&](int t) { return static_cast<double>(input[static_cast<std::size_t>(t) * channelCount + d]); };
        for (int g = 0; g < packetSize / 4; ++g) {
            B += x(4 * g) - x(4 * g + 2);
            A += x(4 * g + 1) - x(4 * g + 3);
        }
    }
    const double a = impedance::kAmplitudeFactor * A;
    const double b = impedance::kAmplitudeFactor * B;
    result.amplitude = packetSize > 0 ? 2 * std::sqrt(a * a + b * b) / packetSize : 0.0;
    result.value = result.amplitude * impedance::kPerAmplitude - impedance::kOffset;
    result.stored = TruncateToInt(result.value) / 2;
    return result;
}

// The line goes out in one write, so a line printed by another thread at the
// same moment cannot land inside it. %g is the stream's default number format.
void WriteImpedanceDiagnostic(std::ostream& out, int channel, const ImpedanceEstimate& estimate) {
    char line[128];
    const int n = std::snprintf(line, sizeof line, "%d imp=%g  A = %g\n", channel, estimate.value, estimate.amplitude);
    if (n <= 0) return;
    out.write(line, std::min<std::streamsize>(n, static_cast<std::streamsize>(sizeof line) - 1));
    out.flush();
}
