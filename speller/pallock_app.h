#pragma once
// Runs the speller client: the window with its defaults, adjusted by the
// start-up options, until it closes.

#include <iosfwd>

class CPallockDlg;

class CPallockApp {
public:
    // The status of a scripted run (--quit-after with --connect) whose link
    // was not made, or was lost, by the end.
    static constexpr int kLinkFailed = 5;

    // Returns the program's exit status: 0, 2 for a refused command line, or
    // kLinkFailed. The command line is settled before the GUI exists, so
    // --help and refusals need no display.
    int Run(int argc, char* argv[]);
};

// One line on err for each link that is not connected, naming it, its
// address and why; kLinkFailed when there was any, else 0.
int ReportLinkFailures(const CPallockDlg& dialog, std::ostream& err);
