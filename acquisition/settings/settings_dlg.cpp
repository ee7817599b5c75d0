#include "acquisition/settings/settings_dlg.h"

#include <QComboBox>
#include <algorithm>
#include <QFileDialog>

#include "common/dialog_folder.h"
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

#include <filesystem>
#include <tuple>
#include <utility>

#include "acquisition/recording/eol_file.h"
#include "common/dialog_units.h"
#include "acquisition/settings/settings_values.h"

namespace {

bool IsThereButNoRegularFile(const QString& path) {
    std::error_code error;
    const auto status = std::filesystem::status(path.toStdString(), error);
    return !error && std::filesystem::exists(status) && !std::filesystem::is_regular_file(status);
}

struct FieldPlace {
    int x, y, width, height;
};

// The label sits left of its field, right-aligned, in the same row.
QRect LabelRect(const DialogUnits& du, const FieldPlace& field, int leftEdge) {
    constexpr int kGap = 4;
    return du.Rect(leftEdge, field.y, field.x - kGap - leftEdge, 14);
}
}  // namespace

// Only the description is shown. File names are case-sensitive here, and
// recordings are saved as ".EOL": both cases are offered.
const QString CSettingsDlg::kEolFilter = QStringLiteral("eol(*.eol)) (*.eol *.EOL)");
// Other programs' recordings play too (read through libbiosig).
const QString CSettingsDlg::kForeignFilter = QStringLiteral("BDF/EDF/GDF (*.bdf *.edf *.gdf *.BDF *.EDF *.GDF)");
const QString CSettingsDlg::kLocFilter = QStringLiteral("loc(*.loc)) (*.loc *.LOC)");

QString CSettingsDlg::ChooseFileToOpen(QWidget* parent, const QString& nameFilter) {
    QFileDialog dialog(parent, QString(), DialogFolder(), nameFilter);
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    RememberDialogFolder(dialog.selectedFiles().front());
    return dialog.selectedFiles().front();
}

void CSettingsDlg::ShowWarning(QWidget* parent, const QString& text) {
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Vostrel"), text, QMessageBox::Ok, parent);
    box.exec();
}

CSettingsDlg::CSettingsDlg(QWidget* parent, FileChooser chooseFile, MessageSink warn)
    : QDialog(parent), chooseFile_(std::move(chooseFile)), warn_(std::move(warn)) {
    setWindowTitle(tr("设置"));
    setFont(QFont(QStringLiteral("Arial"), 12));
    BuildControls();
}

void CSettingsDlg::BuildControls() {
    const DialogUnits du = DialogUnits::OfLetters(font());
    setFixedSize(du.Size(232, 134));

    auto place = [&](QWidget* control, int id, const FieldPlace& at) {
        control->setObjectName(QString::number(id));
        control->setGeometry(du.Rect(at.x, at.y, at.width, at.height));
    };
    auto label = [&](const QString& text, const FieldPlace& field, int leftEdge) {
        auto* l = new QLabel(text, this);
        l->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        l->setGeometry(LabelRect(du, field, leftEdge));
    };
    auto numberField = [&](int id, const FieldPlace& at, int value) {
        auto* field = new QLineEdit(QString::number(value), this);
        place(field, id, at);
        return field;
    };

    constexpr int kLeftColumn = 4;
    constexpr int kRightColumn = 121;

    // A file's name, labelled on the left, with its "..." button at the
    // row's right end.
    auto fileField = [&](int id, const FieldPlace& at, const QString& name, const QString& caption, int browseId) {
        auto* field = new QLineEdit(name, this);
        place(field, id, at);
        label(caption, at, kLeftColumn);
        auto* browse = new QPushButton(QStringLiteral("..."), this);
        place(browse, browseId, {183, at.y + 1, 15, 13});
        return std::pair{field, browse};
    };

    // The list's height is that of its closed box; the drop-down opens below it.
    const FieldPlace listPlace{71, 18, 48, 14};
    amplifierList_ = new QComboBox(this);
    amplifierList_->addItem(tr("仿真信号"));
    amplifierList_->addItem(tr("放大器"));
    place(amplifierList_, kAmplifierTypeId, listPlace);
    amplifierList_->setGeometry(du.X(listPlace.x), du.Y(16), du.X(listPlace.width),
                                std::max(du.Y(14), amplifierList_->sizeHint().height()));
    label(tr("放大器类型"), {71, 16, 48, 14}, kLeftColumn);

    const FieldPlace sampleRatePlace{159, 16, 40, 14};
    sampleRateField_ = numberField(kSampleRateId, sampleRatePlace, sampleRate);
    label(tr("采样率"), sampleRatePlace, kRightColumn);

    std::tie(simulatedDataField_, simulatedBrowse_) =
        fileField(kSimulatedDataId, {71, 36, 103, 14}, simulatedDataFile, tr("模拟数据"), kSimulatedBrowseId);

    const FieldPlace packetSizePlace{71, 58, 40, 14};
    packetSizeField_ = numberField(kPacketSizeId, packetSizePlace, packetSize);
    label(tr("数据包大小"), packetSizePlace, kLeftColumn);

    const FieldPlace channelCountPlace{159, 57, 40, 14};
    channelCountField_ = numberField(kChannelCountId, channelCountPlace, channelCount);
    label(tr("导联数"), channelCountPlace, kRightColumn);

    std::tie(electrodeField_, electrodeBrowse_) =
        fileField(kElectrodeFileId, {71, 78, 105, 14}, electrodeFile, tr("电极位置"), kElectrodeBrowseId);

    auto* ok = new QPushButton(tr("确定"), this);
    place(ok, 1, {46, 104, 50, 14});
    ok->setDefault(true);
    auto* cancel = new QPushButton(tr("取消"), this);
    place(cancel, 2, {139, 104, 50, 14});

    // Tab order follows the layout, row by row.
    setTabOrder(amplifierList_, sampleRateField_);
    setTabOrder(sampleRateField_, simulatedDataField_);
    setTabOrder(simulatedDataField_, simulatedBrowse_);
    setTabOrder(simulatedBrowse_, packetSizeField_);
    setTabOrder(packetSizeField_, channelCountField_);
    setTabOrder(channelCountField_, electrodeField_);
    setTabOrder(electrodeField_, electrodeBrowse_);
    setTabOrder(electrodeBrowse_, ok);
    setTabOrder(ok, cancel);

    const int initialType = static_cast<int>(AcquisitionSettings{}.source);
    amplifierList_->setCurrentIndex(initialType);
    OnAmplifierTypeChanged(initialType);
    connect(amplifierList_, &QComboBox::currentIndexChanged, this, &CSettingsDlg::OnAmplifierTypeChanged);
    connect(simulatedBrowse_, &QPushButton::clicked, this, &CSettingsDlg::OnImportEol);
    connect(electrodeBrowse_, &QPushButton::clicked, this, &CSettingsDlg::OnChooseElectrodeFile);
    connect(ok, &QPushButton::clicked, this, &CSettingsDlg::accept);
    connect(cancel, &QPushButton::clicked, this, &CSettingsDlg::reject);
}

void CSettingsDlg::ShowSettings(const AcquisitionSettings& settings) {
    channelCount = settings.channelCount;
    packetSize = settings.packetSize;
    sampleRate = settings.sampleRate;
    simulatedDataFile = QString::fromStdString(settings.simulatedDataPath);
    electrodeFile = QString::fromStdString(settings.electrodeFilePath);
    channelCountField_->setText(QString::number(channelCount));
    packetSizeField_->setText(QString::number(packetSize));
    sampleRateField_->setText(QString::number(sampleRate));
    simulatedDataField_->setText(simulatedDataFile);
    electrodeField_->setText(electrodeFile);
    amplifierList_->setCurrentIndex(static_cast<int>(settings.source));
}

QWidget* CSettingsDlg::Control(int id) const { return findChild<QWidget*>(QString::number(id)); }

void CSettingsDlg::OnAmplifierTypeChanged(int index) {
    const bool simulated = index == 0;
    simulatedDataField_->setEnabled(simulated);
    simulatedBrowse_->setEnabled(simulated);
}

void CSettingsDlg::OnImportEol() {
    amplifierType = amplifierList_->currentIndex();
    if (*amplifierType != 0) return;
    const QString path = chooseFile_(this, kEolFilter + QStringLiteral(";;") + kForeignFilter);
    if (path.isEmpty()) return;
    simulatedDataFile = path;
    simulatedDataField_->setText(simulatedDataFile);
    EolHeader header;
    // A file that cannot be read changes only the path; the values stay.
    std::string cause;
    if (!ReadPlaybackHeader(path.toStdString(), header, cause)) {
        // One that is there but no file at all (a FIFO, a device) is refused
        // out loud, so nobody wonders why it will not play.
        if (IsThereButNoRegularFile(path))
            warn_(this, tr("数据文件打开失败: %1 (%2)").arg(path, QString::fromStdString(cause)));
        return;
    }
    channelCount = header.channelCount;
    sampleRate = header.sampleRate;
    packetSize = header.packetSize;
    scale = header.scale;
    // Only the imported fields are refreshed, so nothing typed elsewhere is lost.
    channelCountField_->setText(QString::number(channelCount));
    sampleRateField_->setText(QString::number(sampleRate));
    packetSizeField_->setText(QString::number(packetSize));
}

void CSettingsDlg::OnChooseElectrodeFile() {
    const QString path = chooseFile_(this, kLocFilter);
    if (path.isEmpty()) return;
    electrodeFile = path;
    electrodeField_->setText(electrodeFile);
}

bool CSettingsDlg::ReadNumber(QLineEdit* field, int& value) {
    bool ok = false;
    const int read = field->text().trimmed().toInt(&ok);
    if (!ok) return false;
    value = read;
    return true;
}

void CSettingsDlg::Refuse(QLineEdit* field) {
    warn_(this, tr("设置参数无效"));
    field->setFocus(Qt::OtherFocusReason);
    field->selectAll();
}

void CSettingsDlg::accept() {
    int newSampleRate = 0;
    int newPacketSize = 0;
    int newChannelCount = 0;
    if (!ReadNumber(sampleRateField_, newSampleRate)) return Refuse(sampleRateField_);
    if (!ReadNumber(packetSizeField_, newPacketSize)) return Refuse(packetSizeField_);
    if (!ReadNumber(channelCountField_, newChannelCount)) return Refuse(channelCountField_);
    switch (FirstInvalidSetting(newSampleRate, newPacketSize, newChannelCount)) {
    case SettingsField::SampleRate: return Refuse(sampleRateField_);
    case SettingsField::PacketSize: return Refuse(packetSizeField_);
    case SettingsField::ChannelCount: return Refuse(channelCountField_);
    case SettingsField::None: break;
    }
    sampleRate = newSampleRate;
    packetSize = newPacketSize;
    channelCount = newChannelCount;
    simulatedDataFile = simulatedDataField_->text();
    electrodeFile = electrodeField_->text();
    QDialog::accept();
}

AcquisitionSettings CSettingsDlg::Settings(double currentScale) const {
    AcquisitionSettings settings;
    // The list as the user leaves it decides the device, whether or not a
    // header was imported while another entry was selected.
    settings.source = amplifierList_->currentIndex() == 0 ? SignalSource::Playback : SignalSource::Amplifier;
    settings.packetSize = packetSize;
    settings.channelCount = channelCount;
    settings.sampleRate = sampleRate;
    settings.scale = scale.value_or(currentScale);
    settings.simulatedDataPath = simulatedDataFile.toStdString();
    settings.electrodeFilePath = electrodeFile.toStdString();
    return settings;
}

bool RunSettingsCommand(QWidget* parent, AcquisitionEngine& engine, CSettingsDlg::FileChooser chooseFile) {
    if (!engine.CanStart()) return false;
    CSettingsDlg dialog(parent, std::move(chooseFile));
    dialog.ShowSettings(engine.SettingsForNextStart());
    if (dialog.exec() != QDialog::Accepted) return false;
    engine.ApplySettings(dialog.Settings(CurrentScale(engine)));
    return true;
}
