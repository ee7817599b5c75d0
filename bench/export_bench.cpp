// Exporting a 10-minute recording (1000 samples per second, an event every
// second) to each format: MB of EOL read per second, and how many times real
// time. Peak memory is measured on the tool: see the report's commands.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "acquisition/export/eol_export.h"
#include "acquisition/recording/eol_file.h"

namespace {

constexpr int kRate = 1000;
constexpr int kSeconds = 600;

struct Recording {
    std::filesystem::path dir;
    std::string path;
    std::string electrodes;

    Recording() {
        std::string pattern = (std::filesystem::temp_directory_path() / "export-bench-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) std::abort();
        dir = pattern;
        path = (dir / "ten-minutes.EOL").string();
        electrodes = (dir / "montage.loc").string();
        std::FILE* loc = std::fopen(electrodes.c_str(), "w");
        for (int c = 1; c <= 17; ++c) std::fprintf(loc, "%d 0 0.5 E%d\n", c, c);
        std::fclose(loc);
        EolFile file;
        if (!file.Create(path) || !file.WriteHeader(kRate, 40, 0.00073536)) std::abort();
        std::vector<SampleRecord> second(kRate);
        for (int s = 0; s < kSeconds; ++s) {
            for (int t = 0; t < kRate; ++t) {
                for (int c = 0; c < 16; ++c) {
                    second[t].slots[SampleRecord::kSignalSlots[c]] =
                        static_cast<std::int32_t>(40000 * std::sin(0.01 * (s * kRate + t) + c) + 1000 * c);
                }
                second[t].slots[SampleRecord::kEventSlot] = t < 100 ? 1 + s % 4 : 0;
            }
            if (!file.Append(second)) std::abort();
        }
    }
    ~Recording() { std::filesystem::remove_all(dir); }
};

const Recording& TenMinutes() {
    static const Recording recording;
    return recording;
}

void ExportTenMinutes(benchmark::State& state, const char* extension) {
    const Recording& recording = TenMinutes();
    const ExportRequest request{recording.path, (recording.dir / (std::string("out") + extension)).string(),
                                recording.electrodes, 0.0224};
    for (auto _ : state) {
        const ExportResult result = ExportRecording(request);
        if (result.status != ExportStatus::Done) state.SkipWithError(result.error.c_str());
    }
    const auto bytes = static_cast<std::int64_t>(std::filesystem::file_size(recording.path));
    state.SetBytesProcessed(state.iterations() * bytes);
    state.counters["x_real_time"] =
        benchmark::Counter(static_cast<double>(kSeconds) * static_cast<double>(state.iterations()),
                           benchmark::Counter::kIsRate);
}

BENCHMARK_CAPTURE(ExportTenMinutes, bdf, ".bdf")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(ExportTenMinutes, edf, ".edf")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(ExportTenMinutes, gdf, ".gdf")->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
