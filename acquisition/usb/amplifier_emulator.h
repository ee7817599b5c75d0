#pragma once
// A stand-in for the 16-channel amplifier: it understands the host's commands
// and builds the frames the amplifier would send, filled with signals a person
// recognises on screen. It keeps no clock of its own: whoever serves it (the
// in-process bridge, the pseudo-terminal tool) asks for one frame per 40 ms.
//
// What the frames carry, in raw counts (display units = counts × 0.00073536):
// - every channel: background EEG (reddened noise, about 10 px RMS) and 50 Hz
//   hum of 16 to 27 px amplitude that the power-line canceller removes;
// - O1 and O2 (channels 8 and 9): alpha at 10 Hz, waxing and waning, and an
//   SSVEP that follows the schedule of frequencies, each held for a while;
// - the event byte: every 3 s the number of the SSVEP frequency
//   being shown (its place in the schedule, from 1);
// - impedance mode: a 250 Hz test signal on the measured channel, which moves
//   to the next channel every second; its amplitude gives the channel's
//   impedance in ImpedanceOf through the engine's estimate.

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "acquisition/usb/amplifier_protocol.h"

struct EmulatorOptions {
    std::vector<double> ssvepFrequencies{10.0, 12.0, 11.0, 12.5, 11.5, 10.5};
    double holdSeconds = 4.0;
};

class AmplifierEmulator {
public:
    static constexpr int kSampleRate = 1000;
    static constexpr int kPacketSize = 40;
    static constexpr int kSignalChannels = 16;
    static constexpr int kValuesPerSample = kSignalChannels + 1;
    static constexpr int kFrameIntervalMs = kPacketSize * 1000 / kSampleRate;
    static constexpr int kOccipitalLeft = 8;   // O1
    static constexpr int kOccipitalRight = 9;  // O2
    static constexpr int kEventPeriodSamples = 3 * kSampleRate;
    static constexpr int kSamplesPerMeasuredChannel = kSampleRate;
    static constexpr int kNotStreaming = -1;

    explicit AmplifierEmulator(EmulatorOptions options = {});

    // Takes bytes from the host; returns what the amplifier answers at once
    // (the handshake reply). Mode and stop commands change Mode().
    std::vector<std::uint8_t> Receive(std::span<const std::uint8_t> bytes);

    // 0 to 3 while frames stream, kNotStreaming after a stop and at power-on.
    int Mode() const { return mode_; }
    bool Streaming() const { return mode_ != kNotStreaming; }

    // Builds the next frame in the current mode and moves on by one packet.
    // values, when given (kPacketSize × kValuesPerSample), receives the
    // samples as the host should decode them.
    void NextFrame(std::span<std::uint8_t, amp::kFrameBytes> frame, std::span<std::int32_t> values = {});

    long long SamplesSent() const { return sample_; }
    double SsvepFrequencyAt(long long sample) const;
    // Index (from 1) of the schedule entry shown at sample.
    int StimulusAt(long long sample) const;
    static int MeasuredChannelAt(long long sample);
    // The impedance that the test signal of channel c stands for, in the
    // units the engine stores.
    static int ImpedanceOf(int channel);
    // Peak of the test signal that EstimateImpedance maps to ImpedanceOf(c).
    static double TestSignalAmplitude(int channel);

private:
    void HandleCommand(const amp::Command& command, std::vector<std::uint8_t>& reply);
    std::int32_t SignalSample(int channel, long long sample, bool impedanceMode);
    double NextNoise();

    EmulatorOptions options_;
    std::vector<std::uint8_t> pending_;
    int mode_ = kNotStreaming;
    long long sample_ = 0;
    std::uint8_t counter_ = 0;
    std::uint64_t noiseState_ = 0x9E3779B97F4A7C15ULL;
    std::array<double, kSignalChannels> drift_{};
    std::array<double, kSignalChannels> background_{};
    double ssvepPhase_ = 0.0;
};
