#include "band_pass_filter.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

using Complex = std::complex<double>;

// A section with zeros at DC and at half the sample rate and the poles z and
// conj(z), or the two real poles z and other.
Biquad BandSection(Complex z, Complex other) {
    Biquad section;
    section.b0 = 1.0;
    section.b1 = 0.0;
    section.b2 = -1.0;
    section.a1 = -(z + other).real();
    section.a2 = (z * other).real();
    return section;
}

// The bilinear map s = (1 - 1/z) / (1 + 1/z), inverted.
Complex ToDigital(Complex s) { return (1.0 + s) / (1.0 - s); }

Complex SectionResponse(const Biquad& s, Complex zInverse) {
    const Complex zInverse2 = zInverse * zInverse;
    return (s.b0 + s.b1 * zInverse + s.b2 * zInverse2) / (1.0 + s.a1 * zInverse + s.a2 * zInverse2);
}

enum class Direction { Forward, Backward };

// Runs `width` leads from `lead` on through one section, in place. The width
// is fixed at compile time and the coefficients are copied, so that the state
// and the coefficients stay in registers.
template <int width>
void RunSection(const Biquad& section, Eigen::MatrixXd& samples, Eigen::Index lead, Direction direction,
                const Eigen::VectorXd& state1, const Eigen::VectorXd& state2) {
    using Lanes = Eigen::Array<double, width, 1>;
    const double b0 = section.b0, b1 = section.b1, b2 = section.b2, a1 = section.a1, a2 = section.a2;
    Lanes z1 = state1.segment<width>(lead).array();
    Lanes z2 = state2.segment<width>(lead).array();
    const Eigen::Index count = samples.cols();
    const Eigen::Index first = direction == Direction::Forward ? 0 : count - 1;
    const Eigen::Index step = direction == Direction::Forward ? 1 : -1;
    for (Eigen::Index n = 0, i = first; n < count; ++n, i += step) {
        Eigen::Map<Lanes> x(&samples(lead, i));
        const Lanes in = x;
        const Lanes out = b0 * in + z1;
        z1 = b1 * in - a1 * out + z2;
        z2 = b2 * in - a2 * out;
        x = out;
    }
}

// Filters the samples (one column per sample, one row per lead) in place
// through the cascade, in one direction, each section in transposed direct
// form II starting in its steady state for the first sample's value.
void RunCascade(std::span<const Biquad> sections, Eigen::MatrixXd& samples, Direction direction) {
    constexpr int block = 4;
    const Eigen::Index leads = samples.rows();
    Eigen::VectorXd input = samples.col(direction == Direction::Forward ? 0 : samples.cols() - 1);
    for (const Biquad& s : sections) {
        // The state that a constant input has led to, and the section's output then.
        const double dcGain = (s.b0 + s.b1 + s.b2) / (1.0 + s.a1 + s.a2);
        const Eigen::VectorXd state1 = ((s.b1 + s.b2) - (s.a1 + s.a2) * dcGain) * input;
        const Eigen::VectorXd state2 = (s.b2 - s.a2 * dcGain) * input;
        input *= dcGain;
        Eigen::Index lead = 0;
        for (; lead + block <= leads; lead += block) RunSection<block>(s, samples, lead, direction, state1, state2);
        for (; lead < leads; ++lead) RunSection<1>(s, samples, lead, direction, state1, state2);
    }
}

}  // namespace

std::vector<Biquad> ButterworthBandPass(int order, double lowHz, double highHz, double sampleRate) {
    // Pre-warped edges on the analog axis of the bilinear map.
    const double low = std::tan(std::numbers::pi * lowHz / sampleRate);
    const double high = std::tan(std::numbers::pi * highHz / sampleRate);
    const double bandwidth = high - low;
    const double centreSquared = low * high;

    std::vector<Biquad> sections;
    sections.reserve(static_cast<std::size_t>(order));
    // The prototype's poles in the upper half plane, and the real one of an odd
    // order; each conjugate partner gives the conjugates of the same sections.
    for (int k = 0; 2 * k + 1 <= order; ++k) {
        const Complex p = std::polar(1.0, std::numbers::pi * (2.0 * k + order + 1.0) / (2.0 * order));
        // Low-pass to band-pass: each prototype pole p becomes the two roots of
        // s^2 - p B s + W0^2 = 0.
        const Complex root = std::sqrt(p * p * bandwidth * bandwidth - 4.0 * centreSquared);
        const Complex s1 = (p * bandwidth + root) / 2.0;
        const Complex s2 = (p * bandwidth - root) / 2.0;
        const bool realPrototypePole = 2 * k + 1 == order;
        if (realPrototypePole) {
            // Its two roots are a conjugate pair or two real poles: one section.
            sections.push_back(BandSection(ToDigital(s1), ToDigital(s2)));
        } else {
            sections.push_back(BandSection(ToDigital(s1), std::conj(ToDigital(s1))));
            sections.push_back(BandSection(ToDigital(s2), std::conj(ToDigital(s2))));
        }
    }

    // Unit gain at the centre, section by section.
    const double centre = 2.0 * std::atan(std::sqrt(centreSquared));
    const Complex zInverse = std::polar(1.0, -centre);
    for (Biquad& s : sections) {
        const double gain = 1.0 / std::abs(SectionResponse(s, zInverse));
        s.b0 *= gain;
        s.b1 *= gain;
        s.b2 *= gain;
    }
    return sections;
}

std::complex<double> FrequencyResponse(std::span<const Biquad> sections, double hertz, double sampleRate) {
    const Complex zInverse = std::polar(1.0, -2.0 * std::numbers::pi * hertz / sampleRate);
    Complex response = 1.0;
    for (const Biquad& s : sections) response *= SectionResponse(s, zInverse);
    return response;
}

void FilterZeroPhase(std::span<const Biquad> sections, Eigen::MatrixXd& columns) {
    const Eigen::Index length = columns.rows();
    if (sections.empty() || length == 0 || columns.cols() == 0) return;
    // As long an extension as the usual forward-backward filter takes for a
    // cascade of this many sections.
    const Eigen::Index pad = std::min<Eigen::Index>(3 * (2 * static_cast<Eigen::Index>(sections.size()) + 1),
                                                    length - 1);
    Eigen::MatrixXd samples(columns.cols(), length + 2 * pad);
    samples.middleCols(pad, length) = columns.transpose();
    for (Eigen::Index i = 1; i <= pad; ++i) {
        samples.col(pad - i) = (2.0 * columns.row(0) - columns.row(i)).transpose();
        samples.col(pad + length - 1 + i) = (2.0 * columns.row(length - 1) - columns.row(length - 1 - i)).transpose();
    }
    RunCascade(sections, samples, Direction::Forward);
    RunCascade(sections, samples, Direction::Backward);
    columns = samples.middleCols(pad, length).transpose();
}
