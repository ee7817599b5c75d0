#include "acquisition/engine/packet_stopwatch.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace {
constexpr const char* kStageNames[] = {"build", "append", "send", "condition", "display", "total", "cpu"};

double ThreadCpuMicroseconds() {
    timespec now{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e6 + static_cast<double>(now.tv_nsec) / 1e3;
}

float MicrosecondsBetween(std::chrono::steady_clock::time_point from, std::chrono::steady_clock::time_point to) {
    return std::chrono::duration<float, std::micro>(to - from).count();
}
}  // namespace

bool PacketStopwatch::EnabledByEnvironment() {
    const char* value = std::getenv(kEnvironmentVariable);
    return value && *value && std::string(value) != "0";
}

PacketStopwatch::PacketStopwatch(bool enabled, std::size_t capacity) : enabled_(enabled && capacity > 0) {
    if (enabled_) times_.resize(capacity);
}

void PacketStopwatch::Begin() {
    if (!enabled_) return;
    current_.fill(0.0f);
    cpuBegin_ = ThreadCpuMicroseconds();
    begin_ = lap_ = Clock::now();
}

void PacketStopwatch::Lap(Stage stage) {
    if (!enabled_) return;
    const Clock::time_point now = Clock::now();
    current_[stage] += MicrosecondsBetween(lap_, now);
    lap_ = now;
}

void PacketStopwatch::End() {
    if (!enabled_) return;
    current_[kTotal] = MicrosecondsBetween(begin_, Clock::now());
    current_[kCpu] = static_cast<float>(ThreadCpuMicroseconds() - cpuBegin_);
    times_[count_ % times_.size()] = current_;
    ++count_;
}

double PacketStopwatch::Percentile(int stage, double q) const {
    const std::size_t n = std::min(count_, times_.size());
    if (n == 0 || stage < 0 || stage > kCpu) return 0.0;
    std::vector<float> values(n);
    for (std::size_t i = 0; i < n; ++i) values[i] = times_[i][static_cast<std::size_t>(stage)];
    const auto at = values.begin() + static_cast<std::ptrdiff_t>(q * static_cast<double>(n - 1) + 0.5);
    std::nth_element(values.begin(), at, values.end());
    return *at;
}

std::string PacketStopwatch::Summary() const {
    std::string line = "packet work, " + std::to_string(count_) + " packets, µs p50/p99:";
    char figure[64];
    for (int i = 0; i <= kCpu; ++i) {
        const int stage = (i + kTotal) % (kCpu + 1);  // the whole first
        std::snprintf(figure, sizeof figure, " %s %.0f/%.0f", kStageNames[stage], Percentile(stage, 0.5),
                      Percentile(stage, 0.99));
        line += figure;
    }
    return line + '\n';
}
