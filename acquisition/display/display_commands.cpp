#include "acquisition/display/display_commands.h"

#include <algorithm>

#include "acquisition/display/impedance_display.h"
#include "acquisition/display/impedance_range_dialog.h"
#include "acquisition/display/lead_selection_dialog.h"
#include "acquisition/display/wave_display.h"
#include "acquisition/engine/acquisition_engine.h"

DisplayCommands::DisplayCommands(const AcquisitionEngine& engine, WaveDisplay& wave, ImpedanceDisplay& impedance,
                                 QWidget* dialogParent)
    : engine_(engine), wave_(wave), impedance_(impedance), dialogParent_(dialogParent) {}

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

void DisplayCommands::ShowFewerSeconds() { wave_.ShowFewerSeconds(); }
void DisplayCommands::ShowMoreSeconds() { wave_.ShowMoreSeconds(); }

// A row the display cannot draw (settings it refuses) still has its box.
void DisplayCommands::SelectLeads() {
    const std::span<const ChannelRecord> records = engine_.ChannelRecords();
    std::vector<int> flags(records.size(), 1);
    const std::vector<int> shown = wave_.ChannelFlags();
    std::copy_n(shown.begin(), std::min(shown.size(), flags.size()), flags.begin());
    CLeadSelectionDialog dialog(flags, records, static_cast<int>(records.size()) - 1, dialogParent_);
    if (dialog.exec() == QDialog::Accepted) wave_.SetChannelFlags(flags);
}

void DisplayCommands::SetImpedanceRange() {
    CImpedanceRangeDialog dialog(impedance_.RangeMinimum(), impedance_.RangeMaximum(), dialogParent_);
    dialog.exec();
}

bool DisplayCommands::Running() const { return engine_.Running(); }
bool DisplayCommands::CanShowFewerSeconds() const { return Running() && wave_.SecondsPerScreen() > 1; }
bool DisplayCommands::CanShowMoreSeconds() const { return Running() && wave_.SecondsPerScreen() <= 9; }
