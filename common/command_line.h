#pragma once
// The command-line conventions that every program of the system shares, with
// no toolkit involved, so that they hold without a display:
// - each program describes its options in one table;
// - --help (or -h) prints every option with its accepted values and its
//   default on standard output, and the program exits with status 0;
// - a refused command line prints one line saying what is wrong and what is
//   accepted, then a hint to use --help, on standard error, and the program
//   exits with status 2.
// Values follow their option as the next argument or after "=".

#include <functional>
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct CommandLineOption {
    std::string name;          // "--port"
    std::string valueName;     // "N"; empty for a switch, which takes no value
    std::string description;   // what the option does
    std::string accepted;      // the values taken, shown by --help and in errors
    std::string defaultValue;  // empty when there is none worth showing
    // Takes the value (empty for a switch). Returns false to refuse it, and
    // may then put in why what the general "not accepted" would not say.
    std::function<bool(const std::string& value, std::string& why)> take;
};

// An option the GUI toolkit reads from the same command line: passed over.
struct ToolkitOption {
    std::string_view name;
    bool takesValue;
};

struct ProgramCommandLine {
    std::string program;   // "vostrel"
    std::string purpose;   // one line under the usage line
    std::vector<CommandLineOption> options;
    std::string epilogue;  // after the options, e.g. the exit statuses; may be empty
    std::vector<ToolkitOption> toolkitOptions = {};
};

struct CommandLineOutcome {
    bool help = false;
    std::string error;  // empty unless the command line was refused
};

// Hands each argument to its option's taker, left to right; the first refusal
// or request for help ends the walk.
CommandLineOutcome ParseCommandLine(const ProgramCommandLine& commandLine, const std::vector<std::string>& args);

std::string HelpText(const ProgramCommandLine& commandLine);
// The refusal: "program: error" and the hint to use --help, two lines.
std::string UsageErrorText(std::string_view program, std::string_view error);

// Prints the refusal on err; returns the exit status for it.
int ReportUsageError(std::string_view program, std::string_view error, std::ostream& err);
// Parses; on --help prints the help on out, on a refusal the error on err, and
// returns the exit status to end with. Nothing: the program goes on.
std::optional<int> HandleCommandLine(const ProgramCommandLine& commandLine, const std::vector<std::string>& args,
                                     std::ostream& out, std::ostream& err);

// The arguments after the program's name.
std::vector<std::string> ArgumentsOf(int argc, char** argv);

// Takers for the simplest options: a switch sets member, a value is kept as given.
using OptionTaker = decltype(CommandLineOption::take);
OptionTaker TakeSwitch(bool& member);
OptionTaker TakeText(std::string& member);

// Readers for the takers: the whole text must be the number.
bool ReadInteger(std::string_view text, int low, int high, int& value);
bool ReadFiniteNumber(std::string_view text, double& value);

// A window's place as X11 programs take it: [WIDTHxHEIGHT]{+-}X{+-}Y, in
// pixels; -X and -Y count from the right and bottom edges of the screen.
struct WindowPlace {
    int width = 0;  // 0 with height 0: the size is not given
    int height = 0;
    int x = 0;
    int y = 0;
    bool fromRight = false;
    bool fromBottom = false;
    bool HasSize() const { return width > 0; }
};
bool ReadWindowPlace(std::string_view text, WindowPlace& place);
// The --quit-after option, by which scripts end a program that would otherwise
// run until closed.
CommandLineOption QuitAfterOption(std::optional<double>& seconds);
// The --geometry option of a program with one window; a window of fixed size
// takes no WIDTHxHEIGHT.
CommandLineOption GeometryOption(std::optional<WindowPlace>& place, bool sizable, std::string defaultValue);

inline constexpr int kUsageErrorStatus = 2;
