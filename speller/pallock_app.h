#pragma once
// Runs the speller client: the window with its defaults, adjusted by the
// start-up options, until it closes.

class CPallockApp {
public:
    // Returns the program's exit status: 0, or 2 for a refused command line.
    // The command line is settled before the GUI exists, so --help and
    // refusals need no display.
    int Run(int argc, char* argv[]);
};
