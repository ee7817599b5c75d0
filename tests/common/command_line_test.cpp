#include "common/command_line.h"

#include <gtest/gtest.h>

#include <tuple>

namespace {

struct Taken {
    bool loud = false;
    int port = 0;
};

ProgramCommandLine Table(Taken& taken) {
    return {"prog",
            "does things",
            {{"--loud", "", "be loud", "", "", [&taken](const std::string&, std::string&) { return taken.loud = true; }},
             {"--port", "N", "the port", "0 to 9\nor nothing else", "4",
              [&taken](const std::string& value, std::string& why) {
                  if (value == "7") why = "7 is unlucky";
                  return value != "7" && ReadInteger(value, 0, 9, taken.port);
              }}},
            "exit status: 0",
            {{"-style", true}, {"-reverse", false}}};
}

struct ParseCase {
    std::vector<std::string> args;
    bool help;
    std::string error;  // exact
    int port;
};

class CommandLineParse : public ::testing::TestWithParam<ParseCase> {};

TEST_P(CommandLineParse, TakesOrRefusesWithOneLine) {
    const ParseCase& c = GetParam();
    Taken taken;
    const CommandLineOutcome outcome = ParseCommandLine(Table(taken), c.args);
    EXPECT_EQ(outcome.help, c.help);
    EXPECT_EQ(outcome.error, c.error);
    EXPECT_EQ(taken.port, c.port);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CommandLineParse,
    ::testing::Values(
        ParseCase{{"--port", "3", "--loud"}, false, "", 3}, ParseCase{{"--port=5"}, false, "", 5},
        ParseCase{{"-style", "fusion", "-reverse", "--port", "2"}, false, "", 2},
        ParseCase{{"--port", "3", "-h", "--bogus"}, true, "", 3},
        ParseCase{{"--bogus", "--help"}, false, "unknown option \"--bogus\" (accepted: --loud, --port, --help)", 0},
        ParseCase{{"--port"}, false, "--port needs a value N (accepted: 0 to 9; or nothing else)", 0},
        ParseCase{{"--port", ""}, false, "--port needs a value N (accepted: 0 to 9; or nothing else)", 0},
        ParseCase{{"--port", "12"}, false, "--port \"12\" is not accepted (accepted: 0 to 9; or nothing else)", 0},
        ParseCase{{"--port", "7"}, false, "--port: 7 is unlucky (accepted: 0 to 9; or nothing else)", 0},
        ParseCase{{"--loud=yes"}, false, "--loud takes no value", 0}));

TEST(CommandLine, HelpListsEveryOptionWithAcceptedValuesAndDefault) {
    Taken taken;
    const std::string help = HelpText(Table(taken));
    EXPECT_EQ(help,
              "usage: prog [OPTION]...\n"
              "does things\n"
              "\n"
              "options:\n"
              "  --loud                  be loud\n"
              "  --port N                the port\n"
              "                          accepted: 0 to 9\n"
              "                                    or nothing else\n"
              "                          default: 4\n"
              "  -h, --help              print this help and exit\n"
              "\n"
              "exit status: 0\n");
}

TEST(CommandLine, WindowPlacesAreReadAsX11WritesThem) {
    struct Case {
        const char* text;
        bool ok;
        WindowPlace place;
    };
    const WindowPlace untouched{9, 9, 9, 9, true, true};
    const Case cases[] = {
        {"1280x1000+0+0", true, {1280, 1000, 0, 0}}, {"+1300+20", true, {0, 0, 1300, 20}},
        {"-0+0", true, {0, 0, 0, 0, true, false}},   {"10x20+1-2", true, {10, 20, 1, 2, false, true}},
        {"1280x1000", false, {}},                    {"0x10+0+0", false, {}},
        {"10x+0+0", false, {}},                      {"+1+2+3", false, {}},
        {"+-1+2", false, {}},                        {"", false, {}},
    };
    for (const Case& c : cases) {
        WindowPlace place = untouched;
        EXPECT_EQ(ReadWindowPlace(c.text, place), c.ok) << c.text;
        const WindowPlace expected = c.ok ? c.place : untouched;
        EXPECT_EQ(std::tie(place.width, place.height, place.x, place.y, place.fromRight, place.fromBottom),
                  std::tie(expected.width, expected.height, expected.x, expected.y, expected.fromRight,
                           expected.fromBottom))
            << c.text;
    }
}

}  // namespace
