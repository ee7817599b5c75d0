#pragma once
// The ways a window of signal is scored against the stimulus frequencies, so
// that the strongest stimulus can be chosen:
// - fft: the amplitude of one transform bin per frequency on the first lead.
// - cca: the largest canonical correlation between the leads and sine/cosine
//   references at each frequency and its harmonics (Lin et al. 2006).
// - fbcca: the same on band-passed copies of the window, one per sub-band,
//   combined as the weighted sum of squared correlations (Chen et al. 2015).
//
// Qt-free. An SsvepAnalyser is used by one thread at a time: Pallock's window
// thread, or the evaluation tool's only thread.

#include <array>
#include <memory>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include <Eigen/Core>

enum class SsvepMethod { Fft, Cca, Fbcca };

inline constexpr std::array<SsvepMethod, 3> allSsvepMethods = {SsvepMethod::Fft, SsvepMethod::Cca,
                                                               SsvepMethod::Fbcca};
// "fft", "cca", "fbcca".
const char* MethodName(SsvepMethod method);
std::optional<SsvepMethod> MethodFromName(std::string_view name);

struct SsvepMethodSettings {
    // Harmonics in the references of cca and fbcca: the fundamental and two
    // more, as in Lin et al. 2006.
    int harmonics = 3;
    // Sub-bands of fbcca. Sub-band k starts just below the k-th harmonic of the
    // lowest stimulus frequency, so it holds harmonics k and above.
    int subBands = 3;

    bool operator==(const SsvepMethodSettings&) const = default;
};

// One sub-band of fbcca: its -3 dB edges and its weight k^-1.25 + 0.25.
struct SubBand {
    double lowHz = 0.0;
    double highHz = 0.0;
    double weight = 0.0;
};

// Sub-band k (1-based) passes k × lowestFrequency - 2 Hz up to 90 Hz (Chen et
// al. 2015), kept below 0.45 × the sample rate; sub-bands that would be empty
// are left out.
std::vector<SubBand> FilterBankBands(double lowestFrequency, double sampleRate, int subBands);

struct StimulusChoice {
    int stimulus = 1;  // 1-based, in the order of the scores
    double value = 0.0;
};

// The best of the scores: starting with the first, a later score replaces the
// best only when strictly greater, so on equal values the lower number wins.
StimulusChoice ChooseStimulus(std::span<const double> scores);

// Scores windows of one length, at one sample rate, against fixed frequencies.
class SsvepAnalyser {
public:
    // frequencies: one per stimulus, in hertz. For fft each is analysed at the
    // nearest transform bin (windowLength / sampleRate bins per hertz); a
    // frequency whose bin is not 1 to windowLength - 1 scores 0.
    SsvepAnalyser(SsvepMethod method, double sampleRate, int windowLength, std::span<const double> frequencies,
                  const SsvepMethodSettings& settings = {});
    ~SsvepAnalyser();
    SsvepAnalyser(const SsvepAnalyser&) = delete;
    SsvepAnalyser& operator=(const SsvepAnalyser&) = delete;

    int WindowLength() const { return windowLength; }

    // One score per frequency, higher for a stronger response. The window has
    // WindowLength() rows and one column per lead; fft reads the first column.
    // A window of another length, or without columns, scores 0 everywhere.
    std::vector<double> Scores(const Eigen::MatrixXd& window);
    StimulusChoice Choose(const Eigen::MatrixXd& window) { return ChooseStimulus(Scores(window)); }

    class Scorer;

private:
    int windowLength;
    std::size_t stimulusCount;
    std::unique_ptr<Scorer> scorer;
};
