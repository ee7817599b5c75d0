#pragma once
// The "设置" dialog: amplifier type, sample rate, simulated-data file, packet
// size, channel count and electrode-location file. It opens with what the
// next Start would use, so that confirming it unchanged changes nothing.

#include <QDialog>
#include <QString>
#include <functional>
#include <optional>

#include "acquisition/engine/acquisition_engine.h"

class QComboBox;
class QLineEdit;
class QPushButton;

class CSettingsDlg : public QDialog {
    Q_OBJECT

public:
    enum ControlId {
        kPacketSizeId = 1000,
        kChannelCountId = 1001,
        kSampleRateId = 1002,
        kElectrodeFileId = 1004,
        kElectrodeBrowseId = 1005,
        kSimulatedDataId = 1006,
        kSimulatedBrowseId = 1007,
        kAmplifierTypeId = 1008,
    };

    // Asks for a file to open with a Qt name filter; an empty result is a cancel.
    using FileChooser = std::function<QString(QWidget* parent, const QString& nameFilter)>;
    using MessageSink = std::function<void(QWidget* parent, const QString& text)>;

    static const QString kEolFilter;
    static const QString kForeignFilter;
    static const QString kLocFilter;

    explicit CSettingsDlg(QWidget* parent = nullptr, FileChooser chooseFile = ChooseFileToOpen,
                          MessageSink warn = ShowWarning);

    // The control with the given id, found by its object name.
    QWidget* Control(int id) const;

    // Puts settings into the members and the fields, as the dialog opens.
    void ShowSettings(const AcquisitionSettings& settings);
    // What a confirmation hands to the engine. Without an import the scale is
    // the engine's current one.
    AcquisitionSettings Settings(double currentScale) const;

    void accept() override;

    // Members, refreshed into and read back from the fields; until
    // ShowSettings, what Start uses by default.
    int channelCount = AcquisitionSettings{}.channelCount;
    int packetSize = AcquisitionSettings{}.packetSize;
    int sampleRate = AcquisitionSettings{}.sampleRate;
    QString electrodeFile;
    QString simulatedDataFile;
    std::optional<int> amplifierType;  // the list's index when the import button was pressed
    std::optional<double> scale;       // only a header import sets it

    static QString ChooseFileToOpen(QWidget* parent, const QString& nameFilter);
    static void ShowWarning(QWidget* parent, const QString& text);

private:
    void BuildControls();
    void OnAmplifierTypeChanged(int index);
    void OnImportEol();
    void OnChooseElectrodeFile();
    bool ReadNumber(QLineEdit* field, int& value);
    void Refuse(QLineEdit* field);

    FileChooser chooseFile_;
    MessageSink warn_;
    QComboBox* amplifierList_ = nullptr;
    QLineEdit* sampleRateField_ = nullptr;
    QLineEdit* simulatedDataField_ = nullptr;
    QPushButton* simulatedBrowse_ = nullptr;
    QLineEdit* packetSizeField_ = nullptr;
    QLineEdit* channelCountField_ = nullptr;
    QLineEdit* electrodeField_ = nullptr;
    QPushButton* electrodeBrowse_ = nullptr;
};

// The settings command: the dialog, then on confirmation the engine takes its
// values and rebuilds its channel records, channel flags and canceller.
// Returns whether the settings were confirmed.
bool RunSettingsCommand(QWidget* parent, AcquisitionEngine& engine,
                        CSettingsDlg::FileChooser chooseFile = CSettingsDlg::ChooseFileToOpen);
