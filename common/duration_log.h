#pragma once
// Durations kept for percentiles, in a buffer sized up front so that adding
// one allocates nothing; past its capacity the oldest are overwritten.
//
// Threads: one thread adds; the summary is read once that thread is done.

#include <algorithm>
#include <cstddef>
#include <vector>

class DurationLog {
public:
    explicit DurationLog(std::size_t capacity = 0) : values_(capacity) {}

    void Add(double value) {
        if (values_.empty()) return;
        values_[count_ % values_.size()] = static_cast<float>(value);
        ++count_;
    }
    std::size_t Count() const { return count_; }
    // The q-quantile (0 to 1) of what is kept; 0 when nothing is.
    double Percentile(double q) const {
        const std::size_t n = std::min(count_, values_.size());
        if (n == 0) return 0.0;
        std::vector<float> kept(values_.begin(), values_.begin() + static_cast<std::ptrdiff_t>(n));
        const auto at = kept.begin() + static_cast<std::ptrdiff_t>(q * static_cast<double>(n - 1) + 0.5);
        std::nth_element(kept.begin(), at, kept.end());
        return *at;
    }

private:
    std::vector<float> values_;
    std::size_t count_ = 0;
};
