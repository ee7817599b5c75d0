#include "resample.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

// Zero crossings of the sinc on each side of the centre, and the cut-off as a
// share of the lower rate.
constexpr double zeroCrossings = 16.0;
constexpr double cutOffOfRate = 0.45;

double CutOffHz(double inRate, double outRate) { return cutOffOfRate * std::min(inRate, outRate); }

double HalfWidthSeconds(double inRate, double outRate) { return zeroCrossings / (2.0 * CutOffHz(inRate, outRate)); }

// Blackman-windowed sinc at time t (seconds) from the centre.
double Kernel(double t, double cutOffHz, double halfWidth) {
    if (std::abs(t) >= halfWidth) return 0.0;
    const double x = 2.0 * cutOffHz * t;
    const double sinc = x == 0.0 ? 1.0 : std::sin(std::numbers::pi * x) / (std::numbers::pi * x);
    const double phase = std::numbers::pi * (t / halfWidth + 1.0);  // 0 to 2 pi across the window
    const double window = 0.42 - 0.5 * std::cos(phase) + 0.08 * std::cos(2.0 * phase);
    return sinc * window;
}

}  // namespace

int ResampleMargin(double inRate, double outRate) {
    return static_cast<int>(std::ceil(HalfWidthSeconds(inRate, outRate) * inRate)) + 1;
}

Eigen::MatrixXd ResampleColumns(const Eigen::MatrixXd& in, double inRate, double startSeconds, double outRate,
                                int outLength) {
    const double cutOff = CutOffHz(inRate, outRate);
    const double halfWidth = HalfWidthSeconds(inRate, outRate);
    Eigen::MatrixXd out = Eigen::MatrixXd::Zero(outLength, in.cols());
    Eigen::VectorXd weights;
    for (int j = 0; j < outLength; ++j) {
        const double t = startSeconds + j / outRate;
        const auto first = std::max<Eigen::Index>(0, static_cast<Eigen::Index>(std::ceil((t - halfWidth) * inRate)));
        const auto last =
            std::min<Eigen::Index>(in.rows() - 1, static_cast<Eigen::Index>(std::floor((t + halfWidth) * inRate)));
        if (last < first) continue;
        weights.resize(last - first + 1);
        for (Eigen::Index i = first; i <= last; ++i) weights(i - first) = Kernel(i / inRate - t, cutOff, halfWidth);
        // Normalised, so that a constant stays constant however the kernel is cut.
        const double sum = weights.sum();
        if (sum != 0.0) out.row(j) = weights.transpose() * in.middleRows(first, last - first + 1) / sum;
    }
    return out;
}
