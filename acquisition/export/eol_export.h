#pragma once
// Converts an EOL recording to BDF+ (24-bit), EDF+ (16-bit) or GDF: the 16
// signal slots in record order under the electrode file's labels, and the
// event channel and the sidecar's markers as annotations (GDF: its event
// table). The sidecar, when there is one, gives the start time and the
// microvolts per count. The recording is read
// a chunk of records at a time, twice (ranges and events, then the samples),
// so that an hour's recording is never held in memory.
//
// The output is written beside its final path and moved there only when it
// is complete: a failed or cancelled export leaves any earlier file alone.
// Without overwrite the move refuses a name taken meanwhile.
//
// Threads: ExportRecording runs, and calls progress, on the calling thread.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

enum class ExportFormat { Bdf, Edf, Gdf };

// The format an output path's extension names (.bdf, .edf or .gdf, any case).
std::optional<ExportFormat> FormatForPath(const std::string& path);
// The output a recording is offered under: its name with ".bdf"; empty for
// no recording.
std::string ProposedOutput(const std::string& recording);

struct ExportRequest {
    std::string input;          // the EOL recording
    std::string output;         // its extension names the format
    std::string electrodeFile;  // the labels
    // Microvolts per raw count; without it those of the recording's sidecar.
    // Without either the physical values are the raw counts, in the unit
    // "count".
    std::optional<double> microvoltsPerCount;
    // Whether an existing output is replaced; without it the export refuses
    // one. Either way a symbolic link at the output is replaced, never followed.
    bool overwrite = false;
};

struct ExportSummary {
    int channels = 0;
    std::int64_t samples = 0;
    double seconds = 0.0;
    std::int64_t annotations = 0;
    int trailingBytes = 0;  // of a record cut short at the end, left out
    // Whether the start time came from the sidecar, or was guessed from the
    // file's time.
    bool startFromSidecar = false;
    std::optional<double> microvoltsPerCount;  // the one used
    // GDF: the code each marker text that is not a number was given.
    std::vector<std::pair<std::string, int>> gdfCodes;
};

enum class ExportStatus { Done, Failed, Cancelled };

struct ExportResult {
    ExportStatus status = ExportStatus::Failed;
    ExportSummary summary;
    std::string error;  // when Failed: "FILE: reason"
};

// Called after each chunk with the records handled so far (both readings
// count) and the total; returning false cancels the export.
using ExportProgress = std::function<bool(std::int64_t done, std::int64_t total)>;

ExportResult ExportRecording(const ExportRequest& request, const ExportProgress& progress = {});
