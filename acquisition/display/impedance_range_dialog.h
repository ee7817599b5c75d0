#pragma once
// The impedance-range dialog: the bounds of the impedance colour scale, as
// whole numbers. OK stores both in the impedance display's atomics; "取消", Escape and the
// close box store nothing.

#include <QDialog>
#include <atomic>
#include <optional>

class QLineEdit;
class QPushButton;

class CImpedanceRangeDialog : public QDialog {
    Q_OBJECT
public:
    static constexpr int kIdMinimum = 1014;
    static constexpr int kIdMaximum = 1015;
    static constexpr int kIdOk = 1016;
    static constexpr int kIdCancel = 1017;
    static constexpr const char* kNotAWholeNumber = QT_TR_NOOP("请输入一个整数。");
    static constexpr const char* kEqualBounds = QT_TR_NOOP("最大值不能等于最小值");

    CImpedanceRangeDialog(std::atomic<int>& minimum, std::atomic<int>& maximum, QWidget* parent = nullptr);

    QLineEdit* MinimumEdit() const { return minimumEdit_; }
    QLineEdit* MaximumEdit() const { return maximumEdit_; }
    QPushButton* OkButton() const { return okButton_; }
    QPushButton* CancelButton() const { return cancelButton_; }

    // Reads both edits; stores and closes only when both hold whole numbers
    // and they differ. Otherwise says why, focuses the edit and stays open.
    void accept() override;

    // A whole number with an optional sign and blanks around it.
    static std::optional<int> ParseWholeNumber(const QString& text);

private:
    std::optional<int> ReadEdit(QLineEdit* edit);
    void Refuse(QLineEdit* edit, const QString& message);

    std::atomic<int>& minimum_;
    std::atomic<int>& maximum_;
    QLineEdit* minimumEdit_;
    QLineEdit* maximumEdit_;
    QPushButton* okButton_;
    QPushButton* cancelButton_;
};
