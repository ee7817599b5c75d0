#pragma once
// Butterworth band-pass filters as cascades of second-order sections, and
// zero-phase filtering of a window's leads through them.
//
// Qt-free and stateless between calls: each call filters one window.

#include <complex>
#include <span>
#include <vector>

#include <Eigen/Core>

// One second-order section, a0 = 1:
// y[n] = b0 x[n] + b1 x[n-1] + b2 x[n-2] - a1 y[n-1] - a2 y[n-2].
struct Biquad {
    double b0 = 1.0, b1 = 0.0, b2 = 0.0;
    double a1 = 0.0, a2 = 0.0;
};

// A Butterworth band-pass of the given order (2 × order poles, so order
// sections) whose gain is -3 dB at lowHz and highHz and 1 at their geometric
// centre, designed on the analog prototype and mapped by the bilinear
// transform with both edges pre-warped. Requires 0 < lowHz < highHz < rate / 2.
std::vector<Biquad> ButterworthBandPass(int order, double lowHz, double highHz, double sampleRate);

// The cascade's complex gain at a frequency.
std::complex<double> FrequencyResponse(std::span<const Biquad> sections, double hertz, double sampleRate);

// Runs every column forward and then backward through the cascade, so that
// the result has no phase shift and the squared gain of the cascade. The ends
// are extended by odd reflection and the sections start in their steady state
// for the first value, so that a window's edges ring as little as possible.
void FilterZeroPhase(std::span<const Biquad> sections, Eigen::MatrixXd& columns);
