#include "canonical_correlation.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include <Eigen/QR>
#include <Eigen/SVD>

namespace {

Eigen::MatrixXd Centred(const Eigen::MatrixXd& columns) { return columns.rowwise() - columns.colwise().mean(); }

// An orthonormal basis of the span of the centred columns.
Eigen::MatrixXd CentredBasis(const Eigen::MatrixXd& columns) {
    const Eigen::ColPivHouseholderQR<Eigen::MatrixXd> qr(Centred(columns));
    return qr.householderQ() * Eigen::MatrixXd::Identity(columns.rows(), qr.rank());
}

// The largest singular value of the projections of one orthonormal basis on
// another: the cosine of the smallest angle between their spans.
double LargestCosine(const Eigen::MatrixXd& projections) {
    if (projections.size() == 0) return 0.0;
    const Eigen::JacobiSVD<Eigen::MatrixXd> svd(projections);
    // Rounding may carry a perfect correlation a hair above 1.
    return std::min(svd.singularValues()(0), 1.0);
}

}  // namespace

Eigen::MatrixXd SineCosineReferences(double frequency, double sampleRate, int length, int harmonics) {
    int usable = 0;
    while (usable < harmonics && (usable + 1) * frequency < sampleRate / 2) ++usable;
    Eigen::MatrixXd references(length, 2 * usable);
    for (int h = 1; h <= usable; ++h) {
        const double radiansPerSample = 2.0 * std::numbers::pi * h * frequency / sampleRate;
        for (int i = 0; i < length; ++i) {
            references(i, 2 * h - 2) = std::sin(radiansPerSample * i);
            references(i, 2 * h - 1) = std::cos(radiansPerSample * i);
        }
    }
    return references;
}

ReferenceCorrelator::ReferenceCorrelator(std::span<const double> frequencies, double sampleRate, int length,
                                         int harmonics) {
    std::vector<Eigen::MatrixXd> bases;
    Eigen::Index columns = 0;
    for (double frequency : frequencies) {
        bases.push_back(CentredBasis(SineCosineReferences(frequency, sampleRate, length, harmonics)));
        firstColumn.push_back(columns);
        columns += bases.back().cols();
    }
    firstColumn.push_back(columns);
    referenceBases.resize(length, columns);
    for (std::size_t i = 0; i < bases.size(); ++i) referenceBases.middleCols(firstColumn[i], bases[i].cols()) = bases[i];
}

void ReferenceCorrelator::Correlate(const Eigen::MatrixXd& window, std::span<double> correlations) const {
    const Eigen::MatrixXd leads = Centred(window);
    const Eigen::ColPivHouseholderQR<Eigen::MatrixXd> qr(leads);
    const Eigen::Index rank = qr.rank();
    // With leads P = Q R, the first `rank` permuted leads span all of them and
    // equal Q1 R11, so the projections of the leads' basis Q1 on the references
    // are R11^-T times the permuted leads' own: Q1 is never formed.
    Eigen::MatrixXd projections = qr.colsPermutation().transpose() * (leads.transpose() * referenceBases);
    Eigen::MatrixXd basisProjections = projections.topRows(rank);
    qr.matrixR().topLeftCorner(rank, rank).triangularView<Eigen::Upper>().transpose().solveInPlace(basisProjections);
    for (std::size_t i = 0; i + 1 < firstColumn.size() && i < correlations.size(); ++i) {
        const Eigen::Index width = firstColumn[i + 1] - firstColumn[i];
        correlations[i] = LargestCosine(basisProjections.middleCols(firstColumn[i], width));
    }
}
