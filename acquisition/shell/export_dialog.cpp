#include "acquisition/shell/export_dialog.h"

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

#include "common/dialog_folder.h"

#include "common/command_line.h"

namespace {

const char* const kInvalid = QT_TRANSLATE_NOOP("ExportDialog", "导出参数无效");

std::optional<double> ParseFactor(QString text) {
    const std::string number = text.trimmed().replace(QLatin1Char(','), QLatin1Char('.')).toStdString();
    double value = 0.0;
    if (!ReadFiniteNumber(number, value) || value <= 0.0) return std::nullopt;
    return value;
}

// A field's file, or the remembered folder when the field is empty.
QString StartOf(const QLineEdit* field) { return field->text().isEmpty() ? DialogFolder() : field->text(); }

}  // namespace

ExportDialog::ExportDialog(const ExportRequest& proposal, QWidget* parent) : QDialog(parent) {
    setWindowTitle(tr("导出 BDF+/EDF+/GDF"));
    auto* grid = new QGridLayout(this);
    input_ = AddFileRow(0, tr("记录文件:"), proposal.input, [this] {
        const QString path = QFileDialog::getOpenFileName(this, tr("记录文件"), StartOf(input_),
                                                          QStringLiteral("EOL(*.EOL)"));
        RememberDialogFolder(path);
        if (!path.isEmpty()) output_->setText(QString::fromStdString(ProposedOutput(path.toStdString())));
        return path;
    });
    output_ = AddFileRow(1, tr("导出文件:"), proposal.output, [this] {
        const QString path = QFileDialog::getSaveFileName(this, tr("导出文件"), StartOf(output_),
                                                          QStringLiteral("BDF+ (*.bdf);;EDF+ (*.edf);;GDF (*.gdf)"));
        RememberDialogFolder(path);
        return path;
    });
    factor_ = new QLineEdit(this);
    factor_->setPlaceholderText(tr("空: 原始计数"));
    if (proposal.microvoltsPerCount) factor_->setText(QString::number(*proposal.microvoltsPerCount, 'g', 12));
    grid->addWidget(new QLabel(tr("微伏/计数:"), this), 2, 0);
    grid->addWidget(factor_, 2, 1);
    electrodes_ = AddFileRow(3, tr("电极文件:"), proposal.electrodeFile, [this] {
        const QString path = QFileDialog::getOpenFileName(this, tr("电极文件"), StartOf(electrodes_),
                                                          QStringLiteral("loc(*.loc);;dll(*.dll)"));
        RememberDialogFolder(path);
        return path;
    });
    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(tr("确定"), QDialogButtonBox::AcceptRole);
    buttons->addButton(tr("取消"), QDialogButtonBox::RejectRole);
    connect(buttons, &QDialogButtonBox::accepted, this, &ExportDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &ExportDialog::reject);
    grid->addWidget(buttons, 4, 0, 1, 3);
    input_->setMinimumWidth(fontMetrics().averageCharWidth() * 60);
}

QLineEdit* ExportDialog::AddFileRow(int row, const QString& label, const std::string& value,
                                    std::function<QString()> browse) {
    auto* grid = static_cast<QGridLayout*>(layout());
    auto* edit = new QLineEdit(QString::fromStdString(value), this);
    auto* button = new QPushButton(tr("浏览..."), this);
    connect(button, &QPushButton::clicked, this, [edit, browse] {
        const QString path = browse();
        if (!path.isEmpty()) edit->setText(path);
    });
    grid->addWidget(new QLabel(label, this), row, 0);
    grid->addWidget(edit, row, 1);
    grid->addWidget(button, row, 2);
    return edit;
}

std::optional<ExportRequest> ExportDialog::Request(QLineEdit** wrong) const {
    auto refuse = [wrong](QLineEdit* field) {
        if (wrong) *wrong = field;
        return std::nullopt;
    };
    ExportRequest request;
    request.input = input_->text().trimmed().toStdString();
    request.output = output_->text().trimmed().toStdString();
    request.electrodeFile = electrodes_->text().trimmed().toStdString();
    if (request.input.empty()) return refuse(input_);
    if (!FormatForPath(request.output)) return refuse(output_);
    if (!factor_->text().trimmed().isEmpty()) {
        request.microvoltsPerCount = ParseFactor(factor_->text());
        if (!request.microvoltsPerCount) return refuse(factor_);
    }
    if (request.electrodeFile.empty()) return refuse(electrodes_);
    // The user named the output in this window, as a save dialog would.
    request.overwrite = true;
    return request;
}

void ExportDialog::accept() {
    QLineEdit* wrong = nullptr;
    if (!Request(&wrong)) {
        QMessageBox::warning(this, QStringLiteral("Vostrel"), tr(kInvalid));
        wrong->setFocus();
        wrong->selectAll();
        return;
    }
    QDialog::accept();
}
