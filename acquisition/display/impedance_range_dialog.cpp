#include "acquisition/display/impedance_range_dialog.h"

#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <limits>

#include "common/dialog_units.h"

CImpedanceRangeDialog::CImpedanceRangeDialog(std::atomic<int>& minimum, std::atomic<int>& maximum, QWidget* parent)
    : QDialog(parent), minimum_(minimum), maximum_(maximum) {
    setWindowTitle("Dialog");
    const DialogUnits du = DialogUnits::OfAverageCharacter(font());
    setFixedSize(du.Size(153, 85));

    const auto label = [&](const QString& text, QRect place) { (new QLabel(text, this))->setGeometry(place); };
    label(tr("最小值"), du.Rect(20, 7, 25, 8));
    label(QStringLiteral("K "), du.Rect(107, 5, 8, 8));
    label(tr("最大值"), du.Rect(20, 27, 25, 8));
    label(QStringLiteral("K "), du.Rect(108, 27, 8, 8));

    minimumEdit_ = new QLineEdit(QString::number(minimum_.load()), this);
    minimumEdit_->setGeometry(du.Rect(60, 3, 40, 14));
    maximumEdit_ = new QLineEdit(QString::number(maximum_.load()), this);
    maximumEdit_->setGeometry(du.Rect(60, 25, 40, 14));

    okButton_ = new QPushButton(tr("确定"), this);
    okButton_->setGeometry(du.Rect(7, 52, 50, 14));
    okButton_->setDefault(true);
    cancelButton_ = new QPushButton(tr("取消"), this);
    cancelButton_->setGeometry(du.Rect(68, 52, 50, 14));
    cancelButton_->setAutoDefault(false);
    connect(okButton_, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancelButton_, &QPushButton::clicked, this, &QDialog::reject);
}

std::optional<int> CImpedanceRangeDialog::ParseWholeNumber(const QString& text) {
    const QString trimmed = text.trimmed();
    qsizetype i = 0;
    bool negative = false;
    if (i < trimmed.size() && (trimmed[i] == '+' || trimmed[i] == '-')) negative = trimmed[i++] == '-';
    if (i == trimmed.size()) return std::nullopt;
    long long value = 0;
    for (; i < trimmed.size(); ++i) {
        const QChar ch = trimmed[i];
        if (ch < '0' || ch > '9') return std::nullopt;
        value = value * 10 + (ch.unicode() - '0');
        if (value > static_cast<long long>(std::numeric_limits<int>::max()) + 1) return std::nullopt;
    }
    if (negative) value = -value;
    if (value > std::numeric_limits<int>::max() || value < std::numeric_limits<int>::min()) return std::nullopt;
    return static_cast<int>(value);
}

void CImpedanceRangeDialog::Refuse(QLineEdit* edit, const QString& message) {
    edit->setFocus();
    edit->selectAll();
    // Modal to the dialog but without a nested event loop: the dialog stays
    // open behind it.
    auto* box = new QMessageBox(QMessageBox::Warning, windowTitle(), message, QMessageBox::Ok, this);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

std::optional<int> CImpedanceRangeDialog::ReadEdit(QLineEdit* edit) {
    const std::optional<int> value = ParseWholeNumber(edit->text());
    if (!value) Refuse(edit, tr(kNotAWholeNumber));
    return value;
}

// Both bounds are checked before either is stored, so a refused entry leaves
// the range as it was.
void CImpedanceRangeDialog::accept() {
    const std::optional<int> low = ReadEdit(minimumEdit_);
    if (!low) return;
    const std::optional<int> high = ReadEdit(maximumEdit_);
    if (!high) return;
    if (*low == *high) {
        Refuse(maximumEdit_, tr(kEqualBounds));
        return;
    }
    minimum_ = *low;
    maximum_ = *high;
    QDialog::accept();
}
