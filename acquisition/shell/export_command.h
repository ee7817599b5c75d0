#pragma once
// "导出 BDF+/EDF+/GDF...": converts the current or a chosen recording. A dialog
// asks for the recording, the output (its extension names the format), the
// microvolts per count and the electrode file; the conversion then runs on a
// thread of its own behind a progress dialog that can cancel it, so the
// window never freezes.
//
// Threads: every member runs on the UI thread. The conversion's thread
// belongs to an ExportJob and reports only through it.

#include <QCoreApplication>
#include <QString>
#include <functional>
#include <optional>

#include "acquisition/export/eol_export.h"

class QWidget;

class ExportCommand {
    Q_DECLARE_TR_FUNCTIONS(ExportCommand)

public:
    // What the dialog proposes: the current recording and its settings.
    using Proposal = std::function<ExportRequest()>;
    // Asks for the export's settings; nothing when the user cancels.
    using RequestChooser = std::function<std::optional<ExportRequest>(QWidget* parent, const ExportRequest& proposal)>;
    // Tells the user how the export ended.
    using Presenter = std::function<void(QWidget* parent, const QString& text)>;

    ExportCommand(Proposal proposal, Presenter present, RequestChooser choose = ChooseExport);

    // The command: dialog, conversion with progress, outcome. Nothing when
    // the dialog was cancelled.
    std::optional<ExportResult> Run(QWidget* parent);
    // The conversion behind its progress dialog.
    static ExportResult Convert(QWidget* parent, const ExportRequest& request);

    // The export dialog.
    static std::optional<ExportRequest> ChooseExport(QWidget* parent, const ExportRequest& proposal);
    // The message that tells how an export ended.
    static QString Outcome(const ExportRequest& request, const ExportResult& result);

private:
    Proposal proposal_;
    Presenter present_;
    RequestChooser choose_;
    // The last microvolts per count given, offered again: the amplifier's
    // does not change from one export to the next.
    std::optional<double> lastFactor_;
};
