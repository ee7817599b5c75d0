#include "ssvep_methods.h"

#include <algorithm>
#include <cmath>
#include <new>

#include <fftw3.h>

#include "band_pass_filter.h"
#include "canonical_correlation.h"

namespace {

// Band-pass order of each sub-band: 8 poles, steep enough to keep the
// fundamental out of the upper sub-bands, short enough to settle in a window.
constexpr int subBandOrder = 4;
constexpr double subBandMarginHz = 2.0;
constexpr double subBandTopHz = 90.0;
constexpr double subBandTopOfRate = 0.45;

}  // namespace

const char* MethodName(SsvepMethod method) {
    switch (method) {
    case SsvepMethod::Fft: return "fft";
    case SsvepMethod::Cca: return "cca";
    case SsvepMethod::Fbcca: return "fbcca";
    }
    return "fft";
}

std::optional<SsvepMethod> MethodFromName(std::string_view name) {
    for (SsvepMethod method : allSsvepMethods)
        if (name == MethodName(method)) return method;
    return std::nullopt;
}

std::vector<SubBand> FilterBankBands(double lowestFrequency, double sampleRate, int subBands) {
    const double top = std::min(subBandTopHz, subBandTopOfRate * sampleRate);
    std::vector<SubBand> bands;
    for (int k = 1; k <= subBands; ++k) {
        const double harmonic = k * lowestFrequency;
        // Below 4 Hz a 2 Hz margin would reach 0: keep half the harmonic instead.
        const double low = std::max(harmonic - subBandMarginHz, harmonic / 2);
        if (!(low > 0.0 && low < top)) continue;
        bands.push_back({low, top, std::pow(k, -1.25) + 0.25});
    }
    return bands;
}

StimulusChoice ChooseStimulus(std::span<const double> scores) {
    StimulusChoice best;
    for (std::size_t i = 0; i < scores.size(); ++i) {
        // Strictly greater: on equal values the lower stimulus number stays.
        if (i == 0 || scores[i] > best.value) {
            best.stimulus = static_cast<int>(i) + 1;
            best.value = scores[i];
        }
    }
    return best;
}

class SsvepAnalyser::Scorer {
public:
    virtual ~Scorer() = default;
    virtual void Score(const Eigen::MatrixXd& window, std::span<double> scores) = 0;
};

namespace {

// |X[bin]| / length of a complex transform of the first lead, bin by bin as
// the single-lead detector has always computed it.
class FftScorer final : public SsvepAnalyser::Scorer {
public:
    FftScorer(double sampleRate, int length, std::span<const double> frequencies)
        : length(length),
          input(static_cast<fftw_complex*>(fftw_malloc(sizeof(fftw_complex) * static_cast<std::size_t>(length)))),
          output(static_cast<fftw_complex*>(fftw_malloc(sizeof(fftw_complex) * static_cast<std::size_t>(length)))) {
        if (!input || !output) throw std::bad_alloc();
        // The arrays never move, so one plan serves every window. FFTW_ESTIMATE
        // planning leaves the arrays untouched.
        plan.reset(fftw_plan_dft_1d(length, input.get(), output.get(), FFTW_FORWARD, FFTW_ESTIMATE));
        if (!plan) throw std::bad_alloc();
        const double binsPerHertz = length / sampleRate;
        for (double frequency : frequencies) {
            const double bin = std::floor(frequency * binsPerHertz + 0.5);
            // Written so that NaN fails too.
            bins.push_back(bin >= 1 && bin <= length - 1 ? static_cast<int>(bin) : 0);
        }
    }

    void Score(const Eigen::MatrixXd& window, std::span<double> scores) override {
        for (int k = 0; k < length; ++k) {
            input[k][0] = window(k, 0);
            input[k][1] = 0.0;
        }
        fftw_execute(plan.get());
        for (std::size_t i = 0; i < bins.size(); ++i) {
            if (bins[i] == 0) continue;  // the mean of the window is no flicker
            const fftw_complex& bin = output[bins[i]];
            scores[i] = std::sqrt(bin[0] * bin[0] + bin[1] * bin[1]) / length;
        }
    }

private:
    struct FftwFree {
        void operator()(fftw_complex* p) const { fftw_free(p); }
    };
    struct PlanDestroy {
        void operator()(fftw_plan_s* p) const { fftw_destroy_plan(p); }
    };

    int length;
    std::unique_ptr<fftw_complex[], FftwFree> input;
    std::unique_ptr<fftw_complex[], FftwFree> output;
    std::unique_ptr<fftw_plan_s, PlanDestroy> plan;
    std::vector<int> bins;  // 0 for a frequency without a bin
};

class CcaScorer final : public SsvepAnalyser::Scorer {
public:
    CcaScorer(double sampleRate, int length, std::span<const double> frequencies, int harmonics)
        : correlator(frequencies, sampleRate, length, harmonics) {}

    void Score(const Eigen::MatrixXd& window, std::span<double> scores) override {
        correlator.Correlate(window, scores);
    }

private:
    ReferenceCorrelator correlator;
};

class FbccaScorer final : public SsvepAnalyser::Scorer {
public:
    FbccaScorer(double sampleRate, int length, std::span<const double> frequencies, const SsvepMethodSettings& settings)
        : correlator(frequencies, sampleRate, length, settings.harmonics),
          correlations(frequencies.size()) {
        const double lowest = frequencies.empty() ? 0.0 : *std::min_element(frequencies.begin(), frequencies.end());
        for (const SubBand& band : FilterBankBands(lowest, sampleRate, settings.subBands))
            filters.push_back({ButterworthBandPass(subBandOrder, band.lowHz, band.highHz, sampleRate), band.weight});
    }

    void Score(const Eigen::MatrixXd& window, std::span<double> scores) override {
        for (const Filter& filter : filters) {
            filtered = window;
            FilterZeroPhase(filter.sections, filtered);
            correlator.Correlate(filtered, correlations);
            for (std::size_t i = 0; i < scores.size(); ++i) scores[i] += filter.weight * correlations[i] * correlations[i];
        }
    }

private:
    struct Filter {
        std::vector<Biquad> sections;
        double weight;
    };
    ReferenceCorrelator correlator;
    std::vector<Filter> filters;
    std::vector<double> correlations;
    Eigen::MatrixXd filtered;
};

}  // namespace

SsvepAnalyser::SsvepAnalyser(SsvepMethod method, double sampleRate, int windowLength,
                             std::span<const double> frequencies, const SsvepMethodSettings& settings)
    : windowLength(std::max(windowLength, 1)), stimulusCount(frequencies.size()) {
    switch (method) {
    case SsvepMethod::Fft:
        scorer = std::make_unique<FftScorer>(sampleRate, this->windowLength, frequencies);
        break;
    case SsvepMethod::Cca:
        scorer = std::make_unique<CcaScorer>(sampleRate, this->windowLength, frequencies, settings.harmonics);
        break;
    case SsvepMethod::Fbcca:
        scorer = std::make_unique<FbccaScorer>(sampleRate, this->windowLength, frequencies, settings);
        break;
    }
}

SsvepAnalyser::~SsvepAnalyser() = default;

std::vector<double> SsvepAnalyser::Scores(const Eigen::MatrixXd& window) {
    std::vector<double> scores(stimulusCount, 0.0);
    if (window.rows() == windowLength && window.cols() > 0) scorer->Score(window, scores);
    return scores;
}
