#pragma once
// Decides every two seconds of signal which of six flickering stimuli the user
// attends, from the spectral amplitude of one lead at the six frequencies.
//
// Qt-free and single-threaded: the client calls it from its window's thread,
// inside the amplifier link's read notification.

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include <fftw3.h>

struct SsvepResult {
    int stimulus = 1;          // 1 to 6, in the order of the frequency fields
    double value = 0.0;        // |X[bin]| / windowLength of the chosen lead
    bool decided = false;      // value strictly above the threshold
    std::string decisionText;  // "ID01CH00%d", set only when decided
    std::string resultLine;    // "No.%d Value:%.3f", always set
};

class SsvepDetector {
public:
    static constexpr int slotsPerRecord = 21;
    static constexpr int samplesPerPacket = 40;
    static constexpr int packetsPerWindow = 50;
    static constexpr int windowLength = packetsPerWindow * samplesPerPacket;
    static constexpr int valuesPerPacket = slotsPerRecord * samplesPerPacket;
    static constexpr int stimulusCount = 6;
    static constexpr int firstLead = 1;
    static constexpr int lastLead = slotsPerRecord;
    // Bin 0 is the mean of the window, not a flicker; the last bin of a
    // 2000-point transform is 1999.
    static constexpr int lowestBin = 1;
    static constexpr int highestBin = windowLength - 1;

    // Stream value to transform input. Kept bit for bit: results are compared
    // against a threshold typed by the experimenter for this exact scale.
    static const double sampleScale;

    using Frequencies = std::array<double, stimulusCount>;
    static constexpr Frequencies defaultFrequencies = {10.0, 12.0, 11.0, 12.5, 11.5, 10.5};

    SsvepDetector();
    ~SsvepDetector();
    SsvepDetector(const SsvepDetector&) = delete;
    SsvepDetector& operator=(const SsvepDetector&) = delete;

    // The transform bin analysed for a frequency (two bins per hertz at 1000
    // samples per second), or nothing when it lies outside lowestBin..highestBin.
    static std::optional<int> BinFor(double frequency);

    // Takes one packet of valuesPerPacket stream values (40 records of 21
    // slots). Every packetsPerWindow-th packet completes a window, which is
    // analysed; its result is returned. Shorter spans are ignored.
    std::optional<SsvepResult> AddPacket(std::span<const std::int32_t> packet);

    // Analyses the window buffer as it stands (the 50 most recent packet slots).
    SsvepResult Analyse();

    // Sets the bins of the six frequencies. Refused as a whole (returns false,
    // bins unchanged) when any frequency's bin is out of range.
    bool Retune(const Frequencies& frequencies);
    // The frequencies actually analysed: each bin times 0.5 Hz.
    Frequencies AnalysedFrequencies() const;
    const std::array<int, stimulusCount>& TargetBins() const { return targetBins; }

    // Refuses a lead outside 1 to 21; the lead in force stays.
    bool SetLead(int newLead);
    int Lead() const { return lead; }
    void SetThreshold(double newThreshold) { threshold = newThreshold; }
    double Threshold() const { return threshold; }

    int PacketIndex() const { return packetIndex; }

private:
    struct FftwFree {
        void operator()(fftw_complex* p) const { fftw_free(p); }
    };
    struct PlanDestroy {
        void operator()(fftw_plan_s* p) const { fftw_destroy_plan(p); }
    };
    using ComplexArray = std::unique_ptr<fftw_complex[], FftwFree>;

    std::vector<std::int32_t> windowBuffer;
    int packetIndex = 0;
    ComplexArray transformInput;
    ComplexArray transformOutput;
    std::unique_ptr<fftw_plan_s, PlanDestroy> plan;
    std::array<int, stimulusCount> targetBins{};
    int lead = 1;
    double threshold = 0.0;
};
