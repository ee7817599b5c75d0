#pragma once
// The lead-selection dialog: one check box per lead, in columns of 8. OK
// writes the boxes back into the caller's flags; Cancel leaves them alone.

#include <QDialog>
#include <span>
#include <vector>

#include "acquisition/electrodes/electrode_file.h"

class QCheckBox;
class QPushButton;

class CLeadSelectionDialog : public QDialog {
    Q_OBJECT
public:
    static constexpr int kIdOk = 1005;
    static constexpr int kIdCancel = 1013;
    static constexpr int kIdCheckAll = 1012;
    static constexpr int kIdUncheckAll = 1006;
    static constexpr int kRowsPerColumn = 8;

    // flags (1 shown, 0 hidden, one per row) is edited in place on OK; records give the labels;
    // leadCount leads are offered (the event channel is not one of them).
    CLeadSelectionDialog(std::span<int> flags, std::span<const ChannelRecord> records, int leadCount,
                         QWidget* parent = nullptr);

    const std::vector<QCheckBox*>& Boxes() const { return boxes_; }
    // The button with this resource id (1005, 1013, 1012, 1006).
    QPushButton* Button(int id) const;

    void accept() override;

private:
    void MakeBoxes(std::span<const ChannelRecord> records);
    void CheckAll(bool checked);

    std::span<int> flags_;
    int leadCount_;
    std::vector<QCheckBox*> boxes_;
};
