#pragma once
// The export dialog: recording, output, microvolts per count and electrode
// file, each with a browse button where it is a file. OK is refused, with the
// focus on the field, while a value cannot be used.

#include <QDialog>
#include <optional>

#include "acquisition/export/eol_export.h"

class QLineEdit;

class ExportDialog : public QDialog {
    Q_OBJECT
public:
    ExportDialog(const ExportRequest& proposal, QWidget* parent = nullptr);

    QLineEdit* Input() const { return input_; }
    QLineEdit* Output() const { return output_; }
    QLineEdit* Factor() const { return factor_; }
    QLineEdit* Electrodes() const { return electrodes_; }

    // The request as the fields stand; nothing, with the field to fix, when
    // one cannot be used.
    std::optional<ExportRequest> Request(QLineEdit** wrong = nullptr) const;

    void accept() override;

private:
    QLineEdit* AddFileRow(int row, const QString& label, const std::string& value, std::function<QString()> browse);

    QLineEdit* input_ = nullptr;
    QLineEdit* output_ = nullptr;
    QLineEdit* factor_ = nullptr;
    QLineEdit* electrodes_ = nullptr;
};
