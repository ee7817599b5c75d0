#include "common/command_line.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <ostream>

namespace {

constexpr std::size_t kNameColumn = 26;

// A description or list of accepted values may run over several lines.
std::vector<std::string_view> Lines(std::string_view text) {
    std::vector<std::string_view> lines;
    while (true) {
        const auto end = text.find('\n');
        lines.push_back(text.substr(0, end));
        if (end == std::string_view::npos) return lines;
        text.remove_prefix(end + 1);
    }
}

// An error is one line: the lines of a list run on, separated by "; ".
std::string OneLine(std::string_view text) {
    std::string line;
    for (std::string_view part : Lines(text)) line += (line.empty() ? "" : "; ") + std::string(part);
    return line;
}

bool IsHelp(std::string_view arg) { return arg == "--help" || arg == "-h"; }

const CommandLineOption* Find(const ProgramCommandLine& commandLine, std::string_view name) {
    for (const CommandLineOption& option : commandLine.options) {
        if (option.name == name) return &option;
    }
    return nullptr;
}

std::string Accepted(const CommandLineOption& option) {
    return option.accepted.empty() ? std::string() : " (accepted: " + OneLine(option.accepted) + ")";
}

std::string OptionNames(const ProgramCommandLine& commandLine) {
    std::string names;
    for (const CommandLineOption& option : commandLine.options) names += option.name + ", ";
    return names + "--help";
}

// Runs one option's taker; the complaint, or empty when taken.
std::string Take(const CommandLineOption& option, const std::string& value) {
    std::string why;
    if (option.take(value, why)) return {};
    if (why.empty()) return option.name + " \"" + value + "\" is not accepted" + Accepted(option);
    return option.name + ": " + why + Accepted(option);
}

void AppendHelpLine(std::string& text, std::string_view label, std::string_view line) {
    text += "  ";
    text += label;
    if (label.size() + 2 < kNameColumn) {
        text.append(kNameColumn - 2 - label.size(), ' ');
    } else {
        text += '\n';
        text.append(kNameColumn, ' ');
    }
    text += line;
    text += '\n';
}

void AppendContinuation(std::string& text, std::string_view line) {
    text.append(kNameColumn, ' ');
    text += line;
    text += '\n';
}

}  // namespace

CommandLineOutcome ParseCommandLine(const ProgramCommandLine& commandLine, const std::vector<std::string>& args) {
    CommandLineOutcome outcome;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (IsHelp(arg)) {
            outcome.help = true;
            return outcome;
        }
        const auto toolkit = std::find_if(commandLine.toolkitOptions.begin(), commandLine.toolkitOptions.end(),
                                          [&arg](const ToolkitOption& option) { return option.name == arg; });
        if (toolkit != commandLine.toolkitOptions.end()) {
            if (toolkit->takesValue) ++i;
            continue;
        }
        const auto equals = arg.find('=');
        const bool valueAttached = arg.starts_with("--") && equals != std::string::npos;
        const std::string name = valueAttached ? arg.substr(0, equals) : arg;
        const CommandLineOption* option = Find(commandLine, name);
        if (!option) {
            outcome.error = "unknown option \"" + arg + "\" (accepted: " + OptionNames(commandLine) + ")";
            return outcome;
        }
        std::string value;
        if (option->valueName.empty()) {
            if (valueAttached) {
                outcome.error = name + " takes no value";
                return outcome;
            }
        } else if (valueAttached) {
            value = arg.substr(equals + 1);
        } else if (i + 1 < args.size()) {
            value = args[++i];
        }
        if (!option->valueName.empty() && value.empty()) {
            outcome.error = name + " needs a value " + option->valueName + Accepted(*option);
            return outcome;
        }
        outcome.error = Take(*option, value);
        if (!outcome.error.empty()) return outcome;
    }
    return outcome;
}

std::string HelpText(const ProgramCommandLine& commandLine) {
    std::string text = "usage: " + commandLine.program + " [OPTION]...\n";
    if (!commandLine.purpose.empty()) text += commandLine.purpose + "\n";
    text += "\noptions:\n";
    for (const CommandLineOption& option : commandLine.options) {
        const std::string label = option.valueName.empty() ? option.name : option.name + " " + option.valueName;
        const auto description = Lines(option.description);
        AppendHelpLine(text, label, description.front());
        for (std::size_t i = 1; i < description.size(); ++i) AppendContinuation(text, description[i]);
        if (!option.accepted.empty()) {
            const auto accepted = Lines(option.accepted);
            AppendContinuation(text, "accepted: " + std::string(accepted.front()));
            for (std::size_t i = 1; i < accepted.size(); ++i) AppendContinuation(text, "          " + std::string(accepted[i]));
        }
        if (!option.defaultValue.empty()) AppendContinuation(text, "default: " + option.defaultValue);
    }
    AppendHelpLine(text, "-h, --help", "print this help and exit");
    if (!commandLine.epilogue.empty()) text += "\n" + commandLine.epilogue;
    if (!text.ends_with('\n')) text += '\n';
    return text;
}

std::string UsageErrorText(std::string_view program, std::string_view error) {
    std::string text(program);
    text += ": ";
    text += error;
    text += "\nTry '";
    text += program;
    text += " --help' for more information.\n";
    return text;
}

int ReportUsageError(std::string_view program, std::string_view error, std::ostream& err) {
    err << UsageErrorText(program, error) << std::flush;
    return kUsageErrorStatus;
}

std::optional<int> HandleCommandLine(const ProgramCommandLine& commandLine, const std::vector<std::string>& args,
                                     std::ostream& out, std::ostream& err) {
    const CommandLineOutcome outcome = ParseCommandLine(commandLine, args);
    if (!outcome.error.empty()) return ReportUsageError(commandLine.program, outcome.error, err);
    if (outcome.help) {
        out << HelpText(commandLine) << std::flush;
        return 0;
    }
    return std::nullopt;
}

std::vector<std::string> ArgumentsOf(int argc, char** argv) {
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
    return args;
}

OptionTaker TakeSwitch(bool& member) {
    return [&member](const std::string&, std::string&) { return member = true; };
}

OptionTaker TakeText(std::string& member) {
    return [&member](const std::string& value, std::string&) {
        member = value;
        return true;
    };
}

bool ReadInteger(std::string_view text, int low, int high, int& value) {
    int read = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, read);
    if (text.empty() || ec != std::errc() || ptr != end || read < low || read > high) return false;
    value = read;
    return true;
}

bool ReadFiniteNumber(std::string_view text, double& value) {
    double read = 0.0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, read);
    if (text.empty() || ec != std::errc() || ptr != end || !std::isfinite(read)) return false;
    value = read;
    return true;
}

bool ReadWindowPlace(std::string_view text, WindowPlace& place) {
    constexpr int kMaxPixels = 100000;
    WindowPlace read;
    const auto offsets = text.find_first_of("+-");
    if (offsets == std::string_view::npos) return false;
    const std::string_view size = text.substr(0, offsets);
    if (!size.empty()) {
        const auto times = size.find('x');
        if (times == std::string_view::npos || !ReadInteger(size.substr(0, times), 1, kMaxPixels, read.width) ||
            !ReadInteger(size.substr(times + 1), 1, kMaxPixels, read.height))
            return false;
    }
    std::string_view rest = text.substr(offsets);
    const auto second = rest.find_first_of("+-", 1);
    if (second == std::string_view::npos) return false;
    read.fromRight = rest[0] == '-';
    read.fromBottom = rest[second] == '-';
    if (!ReadInteger(rest.substr(1, second - 1), 0, kMaxPixels, read.x) ||
        !ReadInteger(rest.substr(second + 1), 0, kMaxPixels, read.y))
        return false;
    place = read;
    return true;
}

CommandLineOption GeometryOption(std::optional<WindowPlace>& place, bool sizable, std::string defaultValue) {
    const std::string offsets = "-X and -Y count from the right and bottom edges";
    return {"--geometry",
            sizable ? "WxH+X+Y" : "+X+Y",
            sizable ? "show the window there" : "place the window there (its size is fixed)",
            sizable ? "[WIDTHxHEIGHT]+X+Y in pixels, as 1280x1000+0+0; " + offsets
                    : "+X+Y in pixels, as +1300+0; " + offsets + ", as -0+0",
            std::move(defaultValue),
            [&place, sizable](const std::string& value, std::string&) {
                WindowPlace read;
                if (!ReadWindowPlace(value, read) || (read.HasSize() && !sizable)) return false;
                place = read;
                return true;
            }};
}

CommandLineOption QuitAfterOption(std::optional<double>& seconds) {
    return {"--quit-after", "SECONDS", "end the program after this many seconds", "seconds, 0 or more",
            "run until closed", [&seconds](const std::string& value, std::string&) {
                double read = 0.0;
                if (!ReadFiniteNumber(value, read) || read < 0.0) return false;
                seconds = read;
                return true;
            }};
}
