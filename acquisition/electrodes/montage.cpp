#include "acquisition/electrodes/montage.h"

#include <iterator>

#include "common/sample_record.h"

std::vector<int> MontageColumns(int channelCount) {
    if (channelCount == SampleRecord::kSlotCount) {
        std::vector<int> columns(std::begin(SampleRecord::kSignalSlots), std::end(SampleRecord::kSignalSlots));
        columns.push_back(SampleRecord::kEventSlot);
        return columns;
    }
    std::vector<int> columns;
    for (int c = 0; c < channelCount; ++c) columns.push_back(c);
    return columns;
}
