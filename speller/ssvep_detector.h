#pragma once
// Decides every two seconds of signal which of six flickering stimuli the user
// attends, by one of the methods of ssvep_methods.h: by default the spectral
// amplitude of one lead at the six frequencies, or the canonical correlation of
// several leads with references at each frequency.
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

#include "ssvep_methods.h"

struct SsvepResult {
    int stimulus = 1;          // 1 to 6, in the order of the frequency fields
    double value = 0.0;        // the method's score: for fft |X[bin]| / windowLength of the lead
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

    // A window is two seconds of records whatever the stream's rate: at the
    // default rate, packetsPerWindow whole packets. The lowest rate keeps a
    // window at least one packet long; the highest is the acquisition's.
    static constexpr int windowSeconds = 2;
    static constexpr int defaultSampleRate = windowLength / windowSeconds;
    static constexpr int lowestSampleRate = samplesPerPacket / windowSeconds;
    static constexpr int highestSampleRate = 20000;

    // Stream value to transform input. Kept bit for bit: results are compared
    // against a threshold typed by the experimenter for this exact scale.
    static const double sampleScale;

    using Frequencies = std::array<double, stimulusCount>;
    static constexpr Frequencies defaultFrequencies = {10.0, 12.0, 11.0, 12.5, 11.5, 10.5};

    SsvepDetector();
    ~SsvepDetector();
    SsvepDetector(const SsvepDetector&) = delete;
    SsvepDetector& operator=(const SsvepDetector&) = delete;

    // The transform bin analysed for a frequency (two bins per hertz: a window
    // spans two seconds), or nothing when it lies outside 1 to windowRecords - 1
    // (lowestBin to highestBin at the default rate).
    static std::optional<int> BinFor(double frequency, int windowRecords = windowLength);

    // Takes one packet of valuesPerPacket stream values (40 records of 21
    // slots). The packet that completes a window (every packetsPerWindow-th at
    // the default rate) has the window analysed and its result returned; its
    // records beyond the window start the next one. Shorter spans are ignored.
    std::optional<SsvepResult> AddPacket(std::span<const std::int32_t> packet);

    // Analyses the window buffer as it stands (the most recent window's records).
    SsvepResult Analyse();

    // Sets the six frequencies and their bins. Refused as a whole (returns
    // false, nothing changed) when any frequency's bin is out of range.
    bool Retune(const Frequencies& frequencies);
    // The frequencies actually analysed: for fft each bin times 0.5 Hz, for the
    // other methods the frequencies as given to Retune.
    Frequencies AnalysedFrequencies() const;
    const std::array<int, stimulusCount>& TargetBins() const { return targetBins; }

    // The leads analysed, 1-based record slots; fft reads the first. Refused
    // (the leads in force stay) unless there are 1 to 21 leads, each 1 to 21,
    // none twice.
    bool SetLeads(std::span<const int> newLeads);
    static bool ValidLeads(std::span<const int> leads);
    const std::vector<int>& Leads() const { return leads; }
    // One lead alone.
    bool SetLead(int newLead) { return SetLeads(std::span<const int>(&newLead, 1)); }
    int Lead() const { return leads.front(); }

    void SetMethod(SsvepMethod newMethod);
    SsvepMethod Method() const { return method; }

    // The stream's samples per second, which the client cannot read from the
    // stream. Refused outside lowestSampleRate to highestSampleRate, or when a
    // frequency in force has no bin at that rate. Starts a new, empty window.
    bool SetSampleRate(int rate);
    int SampleRate() const { return sampleRate; }
    int WindowRecords() const { return windowSeconds * sampleRate; }

    void SetThreshold(double newThreshold) { threshold = newThreshold; }
    double Threshold() const { return threshold; }

    // Forgets the records of the window begun: the next packet starts a new
    // one (after a gap in the stream, so no window joins its two sides).
    void StartNewWindow() { recordIndex = 0; }

    // The packet slot of the next record in the window.
    int PacketIndex() const { return recordIndex / samplesPerPacket; }

private:
    void MakeAnalyser();

    int sampleRate = defaultSampleRate;
    std::vector<std::int32_t> windowBuffer;
    int recordIndex = 0;
    SsvepMethod method = SsvepMethod::Fft;
    std::unique_ptr<SsvepAnalyser> analyser;
    Frequencies frequencies{};
    std::array<int, stimulusCount> targetBins{};
    std::vector<int> leads{1};
    double threshold = 0.0;
};
