#include "acquisition/display/display_commands.h"

#include "acquisition/display/impedance_range_dialog.h"
#include "acquisition/display/lead_selection_dialog.h"
#include "acquisition/display/wave_display.h"
#include "acquisition/engine/acquisition_engine.h"

DisplayCommands::DisplayCommands(AcquisitionEngine& engine, WaveDisplay& wave, QWidget* dialogParent)
    : engine_(engine), wave_(wave), dialogParent_(dialogParent) {}

std::vector<DisplayCommands::Command> DisplayCommands::Commands() {
    const auto running = [this] { return Running(); };
    return {
        {command::kDoubleGain, [this] { DoubleGain(); }, running},
        {command::kHalveGain, [this] { HalveGain(); }, running},
        {command::kAutoGain, [this] { ResetGain(); }, running},
        {command::kFewerSeconds, [this] { ShowFewerSeconds(); }, [this] { return CanShowFewerSeconds(); }},
        {command::kMoreSeconds, [this] { ShowMoreSeconds(); }, [this] { return CanShowMoreSeconds(); }},
        {command::kLeadSettings, [this] { SelectLeads(); }, running},
        {command::kImpedanceRange, [this] { SetImpedanceRange(); }, &DisplayCommands::Always},
    };
}

bool DisplayCommands::Run(int id) {
    for (const Command& command : Commands()) {
        if (command.id != id) continue;
        if (!command.enabled()) return false;
        command.handler();
        return true;
    }
    return false;
}

bool DisplayCommands::Enabled(int id) const {
    switch (id) {
    case command::kDoubleGain:
    case command::kHalveGain:
    case command::kAutoGain:
    case command::kLeadSettings:
        return Running();
    case command::kFewerSeconds:
        return CanShowFewerSeconds();
    case command::kMoreSeconds:
        return CanShowMoreSeconds();
    case command::kImpedanceRange:
        return Always();
    default:
        return false;
    }
}

void DisplayCommands::DoubleGain() { wave_.DoubleGain(); }
void DisplayCommands::HalveGain() { wave_.HalveGain(); }
void DisplayCommands::ResetGain() { wave_.ResetGain(); }

void DisplayCommands::ShowFewerSeconds() {
    wave_.ShowFewerSeconds();
    engine_.secondsPerScreen -= 1;
}

void DisplayCommands::ShowMoreSeconds() {
    wave_.ShowMoreSeconds();
    engine_.secondsPerScreen += 1;
}

void DisplayCommands::SelectLeads() {
    CLeadSelectionDialog dialog(engine_.channelEnabled, engine_.channelRecords,
                                static_cast<int>(engine_.channelRecords.size()) - 1,
                                dialogParent_);
    if (dialog.exec() == QDialog::Accepted) wave_.SetChannelFlags(engine_.channelEnabled);
}

void DisplayCommands::SetImpedanceRange() {
    CImpedanceRangeDialog dialog(engine_.impedanceMin, engine_.impedanceMax, dialogParent_);
    dialog.exec();
}

bool DisplayCommands::Running() const { return engine_.running == 1; }
bool DisplayCommands::CanShowFewerSeconds() const { return Running() && engine_.secondsPerScreen > 1; }
bool DisplayCommands::CanShowMoreSeconds() const { return Running() && engine_.secondsPerScreen <= 9; }
