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
    if (result.decided) {
        char text[32];
        std::snprintf(text, sizeof text, "ID01CH00%d", stimulus);
        result.decisionText = text;
    }
    result.resultLine = ResultLine(stimulus, value, false, std::nullopt);
    return result;
}

void AppendFixed(std::string& line, double value, int decimals) {
    char text[64];
    const auto [end, error] = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, decimals);
    if (error == std::errc()) line.append(text, end);
}

}  // namespace

std::string ResultLine(int stimulus, double value, bool abstained, std::optional<double> seconds) {
    // "No.%d Value:%.3f" with the C locale's decimal point: the program runs
    // under the user's locale, which may write decimal commas.
    std::string line = abstained ? std::string("No.-") : "No." + std::to_string(stimulus);
    line += " Value:";
    AppendFixed(line, value, 3);
    if (abstained || seconds) {
        line += " Time:";
        AppendFixed(line, seconds.value_or(0.0), 2);
    }
    return line;
}

void RunFigures::Add(const SsvepResult& result) {
    if (result.abstained) {
        ++abstentions;
        return;
    }
    ++decisions;
    decisionSeconds += result.seconds;
}

SsvepDetector::SsvepDetector()
    : windowBuffer(static_cast<std::size_t>(WindowRecords()) * slotsPerRecord, 0) {
    Retune(defaultFrequencies);
}

SsvepDetector::~SsvepDetector() = default;

std::optional<int> SsvepDetector::BinFor(double frequency, int windowRecords) {
    const double bin = std::floor(2.0 * frequency + 0.5);
    // Written so that NaN fails too.
    if (!(bin >= lowestBin && bin <= windowRecords - 1)) return std::nullopt;
    return static_cast<int>(bin);
}

std::optional<SsvepResult> SsvepDetector::AddPacket(std::span<const std::int32_t> packet) {
    if (packet.size() < static_cast<std::size_t>(valuesPerPacket)) return std::nullopt;
    if (trials) {
        std::vector<SsvepResult> results = AddPacketResults(packet);
        if (results.empty()) return std::nullopt;
        return std::move(results.back());
    }
    std::optional<SsvepResult> result;
    // A window is at least one packet long, so a packet completes at most one.
    for (int copied = 0; copied < samplesPerPacket;) {
        const int records = std::min(samplesPerPacket - copied, WindowRecords() - recordIndex);
        std::copy_n(packet.begin() + static_cast<std::ptrdiff_t>(copied) * slotsPerRecord, records * slotsPerRecord,
                    windowBuffer.begin() + static_cast<std::ptrdiff_t>(recordIndex) * slotsPerRecord);
        copied += records;
        recordIndex += records;
        if (recordIndex == WindowRecords()) {
            result = Analyse();
            recordIndex = 0;
        }
    }
    return result;
}

std::vector<SsvepResult> SsvepDetector::AddPacketResults(std::span<const std::int32_t> packet) {
    std::vector<SsvepResult> results;
    if (packet.size() < static_cast<std::size_t>(valuesPerPacket)) return results;
    if (!trials) {
        if (auto result = AddPacket(packet)) results.push_back(std::move(*result));
        return results;
    }
    recordValues.resize(leads.size());
    for (int r = 0; r < samplesPerPacket; ++r) {
        const std::int32_t* record = packet.data() + static_cast<std::ptrdiff_t>(r) * slotsPerRecord;
        for (std::size_t j = 0; j < leads.size(); ++j) recordValues[j] = record[leads[j] - 1] * sampleScale;
        if (const auto outcome = trials->AddRecord(recordValues, record[SampleRecord::kEventSlot])) results.push_back(ResultOf(*outcome));
    }
    return results;
}

SsvepResult SsvepDetector::ResultOf(const TrialOutcome& outcome) const {
    SsvepResult result = MakeResult(outcome.stimulus, outcome.value, threshold);
    result.abstained = outcome.abstained;
    result.seconds = outcome.seconds;
    if (result.abstained) {
        result.decided = false;
        result.decisionText.clear();
    }
    result.resultLine = ResultLine(outcome.stimulus, outcome.value, outcome.abstained,
                                   rules.TimedLines() ? std::optional<double>(outcome.seconds) : std::nullopt);
    return result;
}

bool SsvepDetector::SetDecisionRules(const DecisionRules& newRules) {
    if (!ValidDecisionRules(newRules)) return false;
    rules = newRules;
    MakeTrials();
    return true;
}

void SsvepDetector::ResetRun() {
    if (trials) trials->Reset();
}

SsvepResult SsvepDetector::Analyse() {
    Eigen::MatrixXd window(WindowRecords(), static_cast<Eigen::Index>(leads.size()));
    for (std::size_t j = 0; j < leads.size(); ++j) {
        const int slot = leads[j] - 1;
        for (int k = 0; k < WindowRecords(); ++k)
            window(k, static_cast<Eigen::Index>(j)) =
                windowBuffer[static_cast<std::size_t>(k) * slotsPerRecord + slot] * sampleScale;
    }
    const StimulusChoice best = analyser->Choose(window);
    return MakeResult(best.stimulus, best.value, threshold);
}

bool SsvepDetector::Retune(const Frequencies& newFrequencies) {
    std::array<int, stimulusCount> bins{};
    for (int i = 0; i < stimulusCount; ++i) {
        const auto bin = BinFor(newFrequencies[i], WindowRecords());
        if (!bin) return false;
        bins[i] = *bin;
    }
    frequencies = newFrequencies;
    targetBins = bins;
    MakeAnalyser();
    return true;
}

SsvepDetector::Frequencies SsvepDetector::AnalysedFrequencies() const {
    if (method != SsvepMethod::Fft) return frequencies;
    Frequencies snapped{};
    for (int i = 0; i < stimulusCount; ++i) snapped[i] = targetBins[i] * 0.5;
    return snapped;
}

bool SsvepDetector::ValidLeads(std::span<const int> candidates) {
    if (candidates.empty() || candidates.size() > static_cast<std::size_t>(slotsPerRecord)) return false;
    for (std::size_t i = 0; i < candidates.size(); ++i) {
        if (candidates[i] < firstLead || candidates[i] > lastLead) return false;
        if (std::find(candidates.begin(), candidates.begin() + static_cast<std::ptrdiff_t>(i), candidates[i]) !=
            candidates.begin() + static_cast<std::ptrdiff_t>(i))
            return false;
    }
    return true;
}

bool SsvepDetector::SetLeads(std::span<const int> newLeads) {
    if (!ValidLeads(newLeads)) return false;
    leads.assign(newLeads.begin(), newLeads.end());
    if (trials) MakeTrials();
    return true;
}

void SsvepDetector::SetMethod(SsvepMethod newMethod) {
    if (newMethod == method) return;
    method = newMethod;
    MakeAnalyser();
}

bool SsvepDetector::SetSampleRate(int rate) {
    if (rate < lowestSampleRate || rate > highestSampleRate) return false;
    const int records = windowSeconds * rate;
    for (int bin : targetBins)
        if (bin > records - 1) return false;
    sampleRate = rate;
    windowBuffer.assign(static_cast<std::size_t>(WindowRecords()) * slotsPerRecord, 0);
    recordIndex = 0;
    MakeAnalyser();
    return true;
}

void SsvepDetector::MakeAnalyser() {
    const Frequencies analysed = AnalysedFrequencies();
    analyser = std::make_unique<SsvepAnalyser>(method, sampleRate, WindowRecords(), analysed);
    MakeTrials();
}

void SsvepDetector::MakeTrials() {
    trials.reset();
    if (rules.Plain()) return;
    // fft reads only the first lead, as in the plain window.
    const int leadCount = method == SsvepMethod::Fft ? 1 : static_cast<int>(leads.size());
    const Frequencies analysed = AnalysedFrequencies();
    trials = std::make_unique<SsvepTrials>(method, sampleRate, analysed, leadCount, rules, WindowRecords());
}
