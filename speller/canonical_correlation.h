#pragma once
// Canonical correlation analysis between a window's leads and sine/cosine
// references of a stimulus frequency and its harmonics (Lin et al. 2006):
// the largest correlation that any mix of the leads reaches with any mix of
// the references.
//
// Qt-free; a ReferenceCorrelator is immutable once made.

#include <span>
#include <vector>

#include <Eigen/Core>

// A stimulus's references: sin and cos of 2 pi h f t at t = i / sampleRate,
// i = 0 .. length - 1, for each harmonic h = 1 .. harmonics whose frequency lies
// below half the sample rate (those above would alias onto other frequencies).
Eigen::MatrixXd SineCosineReferences(double frequency, double sampleRate, int length, int harmonics);

// Correlates windows of a fixed length with each frequency's references, whose
// orthonormal bases are made once.
class ReferenceCorrelator {
public:
    ReferenceCorrelator(std::span<const double> frequencies, double sampleRate, int length, int harmonics);

    // One largest canonical correlation per frequency, in their order, 0 to 1.
    // The window has the length given at construction, one column per lead.
    // Each lead's mean is removed first. Repeated, mixed or silent leads add
    // nothing; a window of silent leads correlates 0 with everything.
    void Correlate(const Eigen::MatrixXd& window, std::span<double> correlations) const;

private:
    // Every frequency's reference basis side by side, so that one product
    // projects the window on all of them.
    Eigen::MatrixXd referenceBases;
    std::vector<Eigen::Index> firstColumn;  // per frequency, and one past the last
};
