#pragma once
// The arithmetic the acquisition thread applies to each packet: 50 Hz removal
// and scaling for the waveforms, a 250 Hz demodulation for impedances.
// Packets are sample-major: value c of sample t at t × channelCount + c, the
// last value of each sample the event channel.

#include <cstdint>
#include <ostream>
#include <span>
#include <string>
#include <vector>

#include "acquisition/device/impedance_constants.h"

// Adaptive 50 Hz canceller: block LMS with a cosine and a sine reference.
// The weights move once per packet, after the whole packet has been corrected
// with the old ones, and carry over from packet to packet.
//
// A block update sums packetSize products, so a fixed step would grow with the
// packet: 0.05 corrects a steady hum in one step at 40 samples, sits on the
// edge of stability at 80 and diverges beyond. The step is therefore 0.05 ×
// 40 / packetSize: every packet size gets the one-step correction of 40, and
// 40 samples keep exactly the step they always had.
class PowerLineCanceller {
public:
    static constexpr double kStepSize = 0.05;
    static constexpr int kStepPacketSize = 40;  // the packet size kStepSize is made for
    static constexpr double kReferenceRadiansPerSecond = 314.15926;  // 2π × 50

    // The step for a packet size: kStepSize at kStepPacketSize, bit for bit.
    static double StepFor(int packetSize);

    // Makes the reference table for the settings and sets every weight to 0.
    void BuildCanceller(int packetSize, int channelCount, int sampleRate);
    // output = input minus the estimated hum, for every signal channel; the
    // event channel is copied. Both buffers hold packetSize × channelCount values.
    void CancelPowerLine(std::span<const std::int32_t> input, std::span<double> output);

    int PacketSize() const { return packetSize_; }
    int ChannelCount() const { return channelCount_; }
    // Weight of reference k (0 cosine, 1 sine) for channel c at k × channelCount + c.
    std::span<const double> Weights() const { return cancellerWeights; }
    // cos θt at 2t, sin θt at 2t + 1.
    std::span<const double> ReferenceTable() const { return referenceTable; }

private:
    int packetSize_ = 0;
    int channelCount_ = 0;
    double step_ = kStepSize;
    std::vector<double> referenceTable;
    std::vector<double> cancellerWeights;
};

// Multiplies every signal-channel value by scale; the event channel stays as it is.
void ScaleSignalChannels(std::span<double> packet, int packetSize, int channelCount, double scale);


struct ImpedanceEstimate {
    double value = 0;      // before truncation
    double amplitude = 0;
    int stored = 0;        // value truncated toward zero, then halved toward zero
};

// The impedance of channel d from a raw packet: the amplitude of the packet's
// component at a quarter of the sample rate, mapped linearly. The packet is
// taken in whole groups of four samples; an incomplete last group is left out.
ImpedanceEstimate EstimateImpedance(std::span<const std::int32_t> input, int packetSize, int channelCount, int d);

// Writes "<channel> imp=<value>  A = <amplitude>" and a line end, in the
// stream's default number format, and flushes.
void WriteImpedanceDiagnostic(std::ostream& out, int channel, const ImpedanceEstimate& estimate);
