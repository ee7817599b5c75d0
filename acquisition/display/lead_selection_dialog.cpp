#include "acquisition/display/lead_selection_dialog.h"

#include <QCheckBox>
#include <QPushButton>
#include <algorithm>

#include "common/dialog_units.h"
#include "acquisition/display/label_text.h"

namespace {
constexpr const char* kIdProperty = "commandId";
}

CLeadSelectionDialog::CLeadSelectionDialog(std::span<int> flags, std::span<const ChannelRecord> records,
                                           int leadCount, QWidget* parent)
    : QDialog(parent),
      flags_(flags),
      leadCount_(std::clamp(leadCount, 0, static_cast<int>(std::min(flags.size(), records.size())))) {
    setWindowTitle(tr("导联选择 "));
    const DialogUnits du = DialogUnits::OfAverageCharacter(font());
    setFixedSize(du.Size(206, 179));

    struct ButtonPlace {
        int id;
        const char* text;
        int y;
    };
    for (const ButtonPlace& place :
         {ButtonPlace{kIdOk, QT_TR_NOOP("确定"), 130}, ButtonPlace{kIdCancel, QT_TR_NOOP("取消"), 151},
          ButtonPlace{kIdCheckAll, QT_TR_NOOP("全选"), 88}, ButtonPlace{kIdUncheckAll, QT_TR_NOOP("全部取消"), 109}}) {
        auto* button = new QPushButton(tr(place.text), this);
        button->setProperty(kIdProperty, place.id);
        button->setGeometry(du.Rect(149, place.y, 50, 14));
        button->setAutoDefault(false);
    }
    Button(kIdOk)->setDefault(true);
    connect(Button(kIdOk), &QPushButton::clicked, this, &QDialog::accept);
    connect(Button(kIdCancel), &QPushButton::clicked, this, &QDialog::reject);
    connect(Button(kIdCheckAll), &QPushButton::clicked, this, [this] { CheckAll(true); });
    connect(Button(kIdUncheckAll), &QPushButton::clicked, this, [this] { CheckAll(false); });
    MakeBoxes(records);
}

QPushButton* CLeadSelectionDialog::Button(int id) const {
    for (QPushButton* button : findChildren<QPushButton*>()) {
        if (button->property(kIdProperty).toInt() == id) return button;
    }
    return nullptr;
}

// Columns of 8 boxes, as many columns as the leads need; each box 70 × 20
// pixels with its label to the left of the square.
void CLeadSelectionDialog::MakeBoxes(std::span<const ChannelRecord> records) {
    // Every column must fit: 9 leads, or 17 to 19, need one column more than
    // leadCount / 10 + 1 gives.
    const int columnsNeeded = (leadCount_ + kRowsPerColumn - 1) / kRowsPerColumn;
    const int columnWidth = (width() - 40) / std::max(leadCount_ / 10 + 1, columnsNeeded);
    const int rowHeight = height() / kRowsPerColumn;
    for (int i = 0; i < leadCount_; ++i) {
        auto* box = new QCheckBox(LabelText(records[static_cast<std::size_t>(i)].label), this);
        box->setLayoutDirection(Qt::RightToLeft);
        box->setGeometry(columnWidth * (i / kRowsPerColumn) + 10, rowHeight * (i % kRowsPerColumn) + 10, 70, 20);
        box->setChecked(flags_[static_cast<std::size_t>(i)] == 1);
        boxes_.push_back(box);
    }
}

void CLeadSelectionDialog::CheckAll(bool checked) {
    for (QCheckBox* box : boxes_) box->setChecked(checked);
}

void CLeadSelectionDialog::accept() {
    for (int i = 0; i < leadCount_; ++i) {
        flags_[static_cast<std::size_t>(i)] = boxes_[static_cast<std::size_t>(i)]->isChecked() ? 1 : 0;
    }
    QDialog::accept();
}
