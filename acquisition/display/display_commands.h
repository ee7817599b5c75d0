#pragma once
// The view's display commands: gain, time base, lead selection and impedance
// range, each with its enable rule. The view registers them in its command
// table, one line per command:
//
//   for (const DisplayCommands::Command& c : displayCommands.Commands())
//       Register(c.id, c.handler, c.enabled);
//
// Threads: UI thread only. What they change is the displays' own state,
// which the displays guard from the threads that draw (the time base and
// lead flags under the wave display's lock, the colour range as atomics).

#include <functional>
#include <vector>

#include "acquisition/display/command_ids.h"

class AcquisitionEngine;
class ImpedanceDisplay;
class WaveDisplay;
class QWidget;

class DisplayCommands {
public:
    struct Command {
        int id;
        std::function<void()> handler;
        std::function<bool()> enabled;
    };

    // dialogParent owns the dialogs while they are open (the view).
    DisplayCommands(const AcquisitionEngine& engine, WaveDisplay& wave, ImpedanceDisplay& impedance,
                    QWidget* dialogParent);

    // Every command with its handler and enable rule, in menu order.
    std::vector<Command> Commands();

    // Runs the command if it is enabled; false when it is not (or unknown).
    bool Run(int id);
    bool Enabled(int id) const;

    // Handlers.
    void DoubleGain();
    void HalveGain();
    void ResetGain();
    void ShowFewerSeconds();
    void ShowMoreSeconds();
    void SelectLeads();
    void SetImpedanceRange();

    // Enable rules.
    bool Running() const;
    bool CanShowFewerSeconds() const;
    bool CanShowMoreSeconds() const;
    static bool Always() { return true; }

private:
    const AcquisitionEngine& engine_;
    WaveDisplay& wave_;
    ImpedanceDisplay& impedance_;
    QWidget* dialogParent_;
};
