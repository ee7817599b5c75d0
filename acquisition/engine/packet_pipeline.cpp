#include "acquisition/engine/packet_pipeline.h"

#include <algorithm>
#include <iostream>

#include "acquisition/electrodes/montage.h"

namespace {
std::size_t Count(int n) { return static_cast<std::size_t>(std::max(0, n)); }
}  // namespace

void PacketPipeline::SetUp(int packetSize, int channelCount, int sampleRate, double scale,
                           std::vector<int> rowColumns) {
    packetSize_ = packetSize;
    channelCount_ = channelCount;
    scale_ = scale;
    rowColumns_ = std::move(rowColumns);
    canceller_.BuildCanceller(packetSize, channelCount, sampleRate);
    const std::size_t values = Count(packetSize) * Count(channelCount);
    packet_.assign(values, 0);
    conditioned_.assign(values, 0.0);
    records_.assign(Count(packetSize), SampleRecord{});
    rows_.assign(Count(packetSize) * rowColumns_.size(), 0.0);
    rowImpedances_.assign(rowColumns_.size(), kDefaultImpedance);
    ForgetImpedances();
}

void PacketPipeline::ForgetImpedances() { impedances_.assign(Count(channelCount_), kDefaultImpedance); }

std::span<const SampleRecord> PacketPipeline::BuildRecords() {
    const int built = ::BuildRecords(packet_, packetSize_, channelCount_, records_);
    return std::span<const SampleRecord>(records_.data(), Count(built));
}

std::span<const double> PacketPipeline::ConditionedRows() {
    canceller_.CancelPowerLine(packet_, conditioned_);
    ScaleSignalChannels(conditioned_, packetSize_, channelCount_, scale_);
    GatherRows<double>(conditioned_, channelCount_, rowColumns_, rows_);
    return rows_;
}

std::span<const int> PacketPipeline::MeasureImpedance(int channel) {
    if (channel < 0 || static_cast<std::size_t>(channel) >= impedances_.size()) return {};
    const ImpedanceEstimate estimate = EstimateImpedance(packet_, packetSize_, channelCount_, channel);
    impedances_[static_cast<std::size_t>(channel)] = estimate.stored;
    WriteImpedanceDiagnostic(std::cout, channel, estimate);
    GatherRows<int>(impedances_, channelCount_, rowColumns_, rowImpedances_);
    return rowImpedances_;
}
