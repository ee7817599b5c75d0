// An EOL recording read as the settings import, --play and the export read it:
// the header block, then the records a chunk at a time and after a seek.

#include <vector>

#include "acquisition/recording/eol_file.h"
#include "fuzz/fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const MemoryFile file(std::span(data + 1, size - 1));
    EolHeader header;
    const bool hasHeader = ReadEolHeader(file.Path(), header);

    EolReader reader;
    std::string error;
    Require(reader.Open(file.Path(), error) == hasHeader);
    if (!hasHeader) return 0;
    Require(reader.TrailingBytes() >= 0 && reader.TrailingBytes() < static_cast<int>(sizeof(SampleRecord)));
    std::vector<SampleRecord> chunk(1 + data[0] % 16);
    std::int64_t total = 0;
    while (const std::size_t n = reader.Read(chunk)) total += static_cast<std::int64_t>(n);
    Require(total == reader.RecordCount());
    const std::int64_t at = reader.RecordCount() == 0 ? 0 : data[0] % (reader.RecordCount() + 1);
    Require(reader.Seek(at));
    Require(reader.Read(chunk) == std::min<std::size_t>(chunk.size(), static_cast<std::size_t>(reader.RecordCount() - at)));
    Require(!reader.Seek(reader.RecordCount() + 1));
    return 0;
}
