#pragma once
// Band-limited resampling of a window's leads, for methods run at another rate
// than the recording's.

#include <cstdint>

#include <Eigen/Core>

// Input samples that the interpolation reads on each side of the wanted span.
int ResampleMargin(double inRate, double outRate);

// The columns' values at times startSeconds + j / outRate, j = 0 .. outLength - 1,
// where the input's first row lies at time 0 and its rows follow at inRate. Each
// value is a windowed-sinc interpolation of the input rows around it, with its
// cut-off below half the lower of the two rates so that nothing aliases; rows
// beyond the input's ends count as missing, not as zero.
Eigen::MatrixXd ResampleColumns(const Eigen::MatrixXd& in, double inRate, double startSeconds, double outRate,
                                int outLength);
