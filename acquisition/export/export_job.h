#pragma once
// One export on a thread of its own, so that a window stays responsive.
//
// Threads: construct, poll, cancel, wait for and destroy the job on one
// thread (the UI thread). The export runs on the job's own thread and reports
// only through atomics; its result is read after the thread is joined.

#include <atomic>
#include <cstdint>
#include <thread>

#include "acquisition/export/eol_export.h"

class ExportJob {
public:
    explicit ExportJob(ExportRequest request);
    // Cancels the export and waits for its thread.
    ~ExportJob();
    ExportJob(const ExportJob&) = delete;
    ExportJob& operator=(const ExportJob&) = delete;

    // How much is done, 0 to 1.
    double Fraction() const;
    bool Finished() const { return finished_; }
    // The export stops after the chunk it is working on.
    void Cancel() { cancelled_ = true; }
    // Waits for the end of the export; how it ended.
    const ExportResult& Wait();

private:
    void Run();

    const ExportRequest request_;
    std::atomic<std::int64_t> done_{0};
    std::atomic<std::int64_t> total_{0};
    std::atomic<bool> cancelled_{false};
    std::atomic<bool> finished_{false};
    ExportResult result_;
    std::thread thread_;
};
