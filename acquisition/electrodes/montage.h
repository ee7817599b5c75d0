#pragma once
// Which values of a packet are shown, in which order, under which electrode.
//
// Row r of a display shows one packet column and carries electrode r + 1 of
// the electrode file; the last row is the event channel. A packet of 21
// values per sample is in record layout (a played-back recording): slots 0-7
// hold electrodes 1-8, slots 10-17 electrodes 9-16 and slot 20 the events,
// and the zero slots 8, 9, 18 and 19 are not shown. Any other packet shows
// its values in order. So a live packet of 17 values and the playback of its
// recording give the same rows with the same labels.

#include <span>
#include <vector>

// The packet column of each row, for a packet of channelCount values per
// sample; empty when channelCount is not positive.
std::vector<int> MontageColumns(int channelCount);

// Copies the montage's columns of each sample of a sample-major packet
// (channelCount values per sample) into rows, sample-major, columns.size()
// values per sample. Stops at whichever buffer ends first.
template <typename T>
void GatherRows(std::span<const T> packet, int channelCount, std::span<const int> columns, std::span<T> rows) {
    if (channelCount <= 0 || columns.empty()) return;
    const std::size_t in = static_cast<std::size_t>(channelCount);
    const std::size_t out = columns.size();
    for (std::size_t s = 0; (s + 1) * in <= packet.size() && (s + 1) * out <= rows.size(); ++s) {
        for (std::size_t r = 0; r < out; ++r) rows[s * out + r] = packet[s * in + static_cast<std::size_t>(columns[r])];
    }
}
