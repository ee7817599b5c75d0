#include "acquisition/shell/export_command.h"

#include <QEventLoop>
#include <QProgressDialog>
#include <QTimer>

#include "acquisition/export/export_job.h"
#include "acquisition/shell/export_dialog.h"

namespace {
constexpr int kProgressSteps = 1000;
constexpr int kPollMs = 50;
constexpr int kShowProgressAfterMs = 300;
}  // namespace

ExportCommand::ExportCommand(Proposal proposal, Presenter present, RequestChooser choose)
    : proposal_(std::move(proposal)), present_(std::move(present)), choose_(std::move(choose)) {}

std::optional<ExportResult> ExportCommand::Run(QWidget* parent) {
    ExportRequest proposal = proposal_();
    if (!proposal.microvoltsPerCount) proposal.microvoltsPerCount = lastFactor_;
    const auto request = choose_(parent, proposal);
    if (!request) return std::nullopt;
    lastFactor_ = request->microvoltsPerCount;
    const ExportResult result = Convert(parent, *request);
    present_(parent, Outcome(*request, result));
    return result;
}

ExportResult ExportCommand::Convert(QWidget* parent, const ExportRequest& request) {
    ExportJob job(request);
    QProgressDialog progress(tr("正在导出..."), tr("取消"), 0, kProgressSteps, parent);
    progress.setWindowTitle(tr("导出 BDF+/EDF+/GDF"));
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(kShowProgressAfterMs);
    progress.setAutoReset(false);
    QObject::connect(&progress, &QProgressDialog::canceled, [&job] { job.Cancel(); });

    // The window keeps painting (and acquiring) while the job's thread works.
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (job.Finished()) {
            loop.quit();
            return;
        }
        if (!progress.wasCanceled()) progress.setValue(static_cast<int>(job.Fraction() * kProgressSteps));
    });
    poll.start(kPollMs);
    if (!job.Finished()) loop.exec();
    progress.reset();
    return job.Wait();
}

std::optional<ExportRequest> ExportCommand::ChooseExport(QWidget* parent, const ExportRequest& proposal) {
    ExportDialog dialog(proposal, parent);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return dialog.Request();
}

QString ExportCommand::Outcome(const ExportRequest& request, const ExportResult& result) {
    switch (result.status) {
    case ExportStatus::Cancelled: return tr("导出已取消");
    case ExportStatus::Failed: return tr("导出失败: %1").arg(QString::fromStdString(result.error));
    case ExportStatus::Done: break;
    }
    const ExportSummary& s = result.summary;
    QString text = tr("已导出 %1\n%2 通道, %3 样本, %4 秒, %5 个标注")
                       .arg(QString::fromStdString(request.output))
                       .arg(s.channels)
                       .arg(s.samples)
                       .arg(s.seconds, 0, 'f', 3)
                       .arg(s.annotations);
    if (!s.microvoltsPerCount) text += tr("\n未给出微伏/计数: 数值为原始计数 (count)");
    if (!s.startFromSidecar) text += tr("\n无记录信息文件: 开始时间为文件时间减去时长");
    if (s.trailingBytes > 0)
        text += tr("\n记录末尾不完整 (%1 字节), 已导出其完整记录").arg(s.trailingBytes);
    return text;
}
