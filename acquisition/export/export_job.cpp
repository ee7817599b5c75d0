#include "acquisition/export/export_job.h"

ExportJob::ExportJob(ExportRequest request) : request_(std::move(request)), thread_(&ExportJob::Run, this) {}

ExportJob::~ExportJob() {
    Cancel();
    if (thread_.joinable()) thread_.join();
}

void ExportJob::Run() {
    result_ = ExportRecording(request_, [this](std::int64_t done, std::int64_t total) {
        total_ = total;
        done_ = done;
        return !cancelled_;
    });
    finished_ = true;
}

double ExportJob::Fraction() const {
    const std::int64_t total = total_;
    return total > 0 ? static_cast<double>(done_) / static_cast<double>(total) : 0.0;
}

const ExportResult& ExportJob::Wait() {
    if (thread_.joinable()) thread_.join();
    return result_;
}
