#pragma once
// What the acquisition thread works with between reading a packet and
// handing it on: the packet's buffers, the records built from it, the hum
// canceller and the impedances measured so far.
//
// Threads: one owner at a time. While acquisition runs, the acquisition
// thread owns the pipeline outright (the engine moves it into the thread and
// gets it back when the thread ends), so no UI-thread code can name it then.
// While stopped, the engine sets it up on the UI thread.

#include <cstdint>
#include <span>
#include <vector>

#include "acquisition/engine/signal_conditioning.h"
#include "common/sample_record.h"

class PacketPipeline {
public:
    static constexpr int kDefaultImpedance = 2550000;

    // Sizes every buffer for the settings (so that a packet allocates
    // nothing) and starts the canceller afresh. rowColumns names the packet
    // column each display row shows.
    void SetUp(int packetSize, int channelCount, int sampleRate, double scale, std::vector<int> rowColumns);
    // Where the device puts the next packet.
    std::span<std::int32_t> Packet() { return packet_; }
    // The packet as records, in the file's and the stream's layout.
    std::span<const SampleRecord> BuildRecords();
    // The packet with the hum removed and scaled, gathered into display rows.
    std::span<const double> ConditionedRows();
    // Measures the impedance of the packet's channel, writes its diagnostic
    // line and returns every row's impedance; empty for a channel outside
    // the packet.
    std::span<const int> MeasureImpedance(int channel);

    const PowerLineCanceller& Canceller() const { return canceller_; }
    // Per packet column, as the device measured them.
    std::span<const int> Impedances() const { return impedances_; }

private:
    // Every column back to "not measured".
    void ForgetImpedances();

    int packetSize_ = 0;
    int channelCount_ = 0;
    double scale_ = 0.0;
    std::vector<int> rowColumns_;
    PowerLineCanceller canceller_;
    std::vector<std::int32_t> packet_;
    std::vector<SampleRecord> records_;
    std::vector<double> conditioned_;
    std::vector<double> rows_;
    std::vector<int> impedances_;
    std::vector<int> rowImpedances_;
};
