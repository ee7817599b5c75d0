// The electrode-location file: a whole file read into a number of records,
// and the input as one line.

#include <cstring>
#include <string_view>
#include <vector>

#include "acquisition/electrodes/electrode_file.h"
#include "fuzz/fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::span<const std::uint8_t> text(data + 1, size - 1);
    std::vector<ChannelRecord> records(data[0] % 40);
    std::string error;
    const MemoryFile file(text);
    const int read = ReadElectrodeLocations(records, file.Path(), &error);
    Require(read >= 0 && static_cast<std::size_t>(read) <= records.size());

    ChannelRecord line;
    ParseElectrodeLine(std::string_view(reinterpret_cast<const char*>(text.data()), text.size()), line);
    records.push_back(line);
    for (const ChannelRecord& record : records) {
        Require(std::memchr(record.label, '\0', sizeof record.label) != nullptr);
    }
    return 0;
}
