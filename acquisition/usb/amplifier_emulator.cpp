#include "acquisition/usb/amplifier_emulator.h"

#include "acquisition/device/impedance_constants.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {
constexpr double kTwoPi = 2.0 * std::numbers::pi;

// Impedances (engine units) of the 16 leads: most good, T3 poor, T6 unattached.
constexpr std::array<int, AmplifierEmulator::kSignalChannels> kImpedances{6, 5, 8, 7, 4, 6, 9, 7,
                                                                          5, 6, 10, 8, 55, 7, 6, 1200};

// EstimateImpedance turns a test-signal peak a into 0.1098 × √2 × 0.024835… × a
// − 11.1671 and stores half of that, truncated; aim at the middle of the step.
constexpr double kEstimatePerCount = impedance::kPerAmplitude * std::numbers::sqrt2 * impedance::kAmplitudeFactor;
constexpr double kEstimateOffset = impedance::kOffset;

constexpr double kBackgroundPole = 0.97;      // reddens the noise towards EEG's spectrum
constexpr double kBackgroundDrive = 3600.0;   // about 15000 counts RMS after the pole
constexpr double kSmoothing = 0.35;           // and takes the hiss off above 40 Hz or so
constexpr double kImpedanceBackgroundShare = 0.25;
constexpr double kHumCounts = 22000.0;
constexpr double kHumStepPerChannel = 1000.0;
constexpr double kAlphaCounts = 12000.0;
constexpr double kAlphaHz = 10.0;
constexpr double kAlphaEnvelopeHz = 0.1;
constexpr double kSsvepCounts = 20000.0;

constexpr std::uint8_t kReplyEcho[3] = {'E', 'E', 'G'};

std::int32_t ClampToCounts(double v) {
    return static_cast<std::int32_t>(
        std::clamp(std::lround(v), static_cast<long>(amp::kMinSample24), static_cast<long>(amp::kMaxSample24)));
}

// The filler bytes are not looked at.
bool IsCommand(const amp::Command& received, const amp::Command& known) {
    return std::equal(received.begin(), received.begin() + amp::kCommandMeaningfulBytes, known.begin());
}
}  // namespace

AmplifierEmulator::AmplifierEmulator(EmulatorOptions options) : options_(std::move(options)) {
    if (options_.ssvepFrequencies.empty()) options_.ssvepFrequencies = EmulatorOptions{}.ssvepFrequencies;
    if (!(options_.holdSeconds > 0)) options_.holdSeconds = EmulatorOptions{}.holdSeconds;
}

std::vector<std::uint8_t> AmplifierEmulator::Receive(std::span<const std::uint8_t> bytes) {
    std::vector<std::uint8_t> reply;
    pending_.insert(pending_.end(), bytes.begin(), bytes.end());
    std::size_t at = 0;
    while (pending_.size() - at >= amp::kCommandBytes) {
        if (pending_[at] != amp::kCommandStart[0] || pending_[at + 1] != amp::kCommandStart[1]) {
            ++at;  // not the start of a command: resynchronise
            continue;
        }
        amp::Command command{};
        std::copy_n(pending_.begin() + static_cast<std::ptrdiff_t>(at), amp::kCommandBytes, command.begin());
        HandleCommand(command, reply);
        at += amp::kCommandBytes;
    }
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(at));
    return reply;
}

void AmplifierEmulator::HandleCommand(const amp::Command& command, std::vector<std::uint8_t>& reply) {
    if (IsCommand(command, amp::HandshakeCommand())) {
        reply.insert(reply.end(), std::begin(kReplyEcho), std::end(kReplyEcho));
        reply.push_back(0x00);
        reply.push_back(amp::kHandshakeSucceeded);
        return;
    }
    if (IsCommand(command, amp::StopCommand())) {
        mode_ = kNotStreaming;
        return;
    }
    for (int mode = 0; mode < 4; ++mode) {
        if (IsCommand(command, amp::ModeCommand(mode))) mode_ = mode;
    }
}

double AmplifierEmulator::NextNoise() {
    // xorshift64*: the same sequence on every platform, so runs can be compared.
    noiseState_ ^= noiseState_ >> 12;
    noiseState_ ^= noiseState_ << 25;
    noiseState_ ^= noiseState_ >> 27;
    const std::uint64_t bits = noiseState_ * 0x2545F4914F6CDD1DULL;
    return static_cast<double>(bits >> 11) * (2.0 / 9007199254740992.0) - 1.0;  // uniform in [-1, 1)
}

int AmplifierEmulator::StimulusAt(long long sample) const {
    const auto holdSamples = std::max(1LL, std::llround(options_.holdSeconds * kSampleRate));
    const auto count = static_cast<long long>(options_.ssvepFrequencies.size());
    return static_cast<int>((sample / holdSamples) % count) + 1;
}

double AmplifierEmulator::SsvepFrequencyAt(long long sample) const {
    return options_.ssvepFrequencies[static_cast<std::size_t>(StimulusAt(sample) - 1)];
}

int AmplifierEmulator::MeasuredChannelAt(long long sample) {
    return static_cast<int>((sample / kSamplesPerMeasuredChannel) % kSignalChannels);
}

int AmplifierEmulator::ImpedanceOf(int channel) { return kImpedances[static_cast<std::size_t>(channel)]; }

double AmplifierEmulator::TestSignalAmplitude(int channel) {
    return (2.0 * ImpedanceOf(channel) + 1.0 + kEstimateOffset) / kEstimatePerCount;
}

std::int32_t AmplifierEmulator::SignalSample(int channel, long long sample, bool impedanceMode) {
    const double t = static_cast<double>(sample) / kSampleRate;
    auto& drift = drift_[static_cast<std::size_t>(channel)];
    auto& background = background_[static_cast<std::size_t>(channel)];
    // The sum of three uniforms is near enough to Gaussian for the eye.
    drift = kBackgroundPole * drift + kBackgroundDrive * (NextNoise() + NextNoise() + NextNoise());
    background += kSmoothing * (drift - background);
    const double humPhase = 0.35 * channel;
    double v = (kHumCounts + kHumStepPerChannel * channel) * std::sin(kTwoPi * 50.0 * t + humPhase);

    if (impedanceMode) {
        v += kImpedanceBackgroundShare * background;
        if (channel == MeasuredChannelAt(sample)) {
            const double a = TestSignalAmplitude(channel);
            v += (sample % 4 < 2) ? a : -a;  // a quarter of the sample rate: 250 Hz
        }
        return ClampToCounts(v);
    }

    v += background;
    if (channel == kOccipitalLeft || channel == kOccipitalRight) {
        const double lag = channel == kOccipitalRight ? 0.3 : 0.0;
        const double envelope = 0.6 + 0.4 * std::sin(kTwoPi * kAlphaEnvelopeHz * t);
        v += kAlphaCounts * envelope * std::sin(kTwoPi * kAlphaHz * t + lag);
        v += kSsvepCounts * std::sin(ssvepPhase_ + lag);
    }
    return ClampToCounts(v);
}

void AmplifierEmulator::NextFrame(std::span<std::uint8_t, amp::kFrameBytes> frame, std::span<std::int32_t> values) {
    const bool impedanceMode = mode_ == 1;
    const bool keepValues = values.size() >= static_cast<std::size_t>(kPacketSize * kValuesPerSample);
    std::fill(frame.begin(), frame.end(), std::uint8_t{0});
    frame[0] = 0xA5;
    frame[1] = 0x5A;
    frame[amp::kChannelByte] = static_cast<std::uint8_t>(
        (impedanceMode ? MeasuredChannelAt(sample_) : 0) + amp::kChannelByteOffset);
    frame[3] = static_cast<std::uint8_t>(mode_ < 0 ? 0 : mode_);
    frame[amp::kCounterByte] = counter_++;

    constexpr auto blockBytes = amp::SampleBlockBytes(kValuesPerSample);
    for (int s = 0; s < kPacketSize; ++s, ++sample_) {
        std::uint8_t* block = frame.data() + amp::kFrameHeaderBytes + blockBytes * s;
        const bool eventDue = !impedanceMode && sample_ > 0 && sample_ % kEventPeriodSamples == 0;
        const auto event = static_cast<std::uint8_t>(eventDue ? StimulusAt(sample_) : 0);
        block[0] = event;
        for (int k = 0; k < kSignalChannels; ++k) {
            const std::int32_t value = SignalSample(k, sample_, impedanceMode);
            amp::EncodeSample24(value, block + amp::kFirstValueInBlock + 3 * k);
            if (keepValues) values[static_cast<std::size_t>(s * kValuesPerSample + k)] = value;
        }
        if (keepValues) values[static_cast<std::size_t>(s * kValuesPerSample + kSignalChannels)] = event;
        ssvepPhase_ = std::fmod(ssvepPhase_ + kTwoPi * SsvepFrequencyAt(sample_) / kSampleRate, kTwoPi);
    }
}
