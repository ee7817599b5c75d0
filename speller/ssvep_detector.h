#pragma once
// Decides every two seconds of signal which of six flickering stimuli the user
// attends, by one of the methods of ssvep_methods.h: by default the spectral
// amplitude of one lead at the six frequencies, or the canonical correlation of
// several leads with references at each frequency. With decision rules
// (ssvep_decisions.h) windows start at cues, grow until the choice is clear,
// and may abstain.
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

#include "common/sample_record.h"
#include "ssvep_decisions.h"
#include "ssvep_methods.h"

struct SsvepResult {
    int stimulus = 1;          // 1 to 6, in the order of the frequency fields
    double value = 0.0;        // the method's score: for fft |X[bin]| / windowLength of the lead
    bool decided = false;      // not abstained and value strictly above the threshold
    bool abstained = false;    // the margin stayed short: nothing is sent
    double seconds = 0.0;      // signal time the window used
    std::string decisionText;  // "ID01CH00%d", set only when decided
    // "No.%d Value:%.3f", always set; with a cue or a dynamic range
    // "No.%d Value:%.3f Time:%.2f"; an abstention "No.- Value:%.3f Time:%.2f".
    std::string resultLine;
};

// The running figures of a run: how many windows decided (sent or under the
// threshold) and abstained, and the mean signal time of the decided ones.
struct RunFigures {
    int decisions = 0;
    int abstentions = 0;
    double decisionSeconds = 0.0;  // summed over the decisions
    void Add(const SsvepResult& result);
    double MeanDecisionSeconds() const { return decisions == 0 ? 0.0 : decisionSeconds / decisions; }
};

// "No.%d Value:%.3f", with " Time:%.2f" when timed; an abstention always
// "No.- Value:%.3f Time:%.2f". The C locale's decimal point whatever the
// user's locale.
std::string ResultLine(int stimulus, double value, bool abstained, std::optional<double> seconds);

class SsvepDetector {
public:
    static constexpr int slotsPerRecord = SampleRecord::kSlotCount;
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
    // With decision rules other than the plain ones, windows follow the rules
    // instead, and the last result the packet completed is returned.
    std::optional<SsvepResult> AddPacket(std::span<const std::int32_t> packet);
    // The same, every result the packet completed (a short window may end
    // more than one within a packet).
    std::vector<SsvepResult> AddPacketResults(std::span<const std::int32_t> packet);

    // Cue, offset, dynamic range, margin, adaptation, abstention. Refused
    // (false, rules in force kept) when ValidDecisionRules refuses them. Starts
    // a new run, as ResetRun.
    bool SetDecisionRules(const DecisionRules& newRules);
    const DecisionRules& Rules() const { return rules; }
    // A new run (a new connection): no trial under way, adaptation's history
    // forgotten. The plain back-to-back window is left as it is.
    void ResetRun();

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
    void MakeTrials();
    SsvepResult ResultOf(const TrialOutcome& outcome) const;

    int sampleRate = defaultSampleRate;
    std::vector<std::int32_t> windowBuffer;
    int recordIndex = 0;
    SsvepMethod method = SsvepMethod::Fft;
    std::unique_ptr<SsvepAnalyser> analyser;
    Frequencies frequencies{};
    std::array<int, stimulusCount> targetBins{};
    std::vector<int> leads{1};
    double threshold = 0.0;
    DecisionRules rules;
    std::unique_ptr<SsvepTrials> trials;  // only with rules other than the plain ones
    std::vector<double> recordValues;
};
