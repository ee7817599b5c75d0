#include "pallock_options.h"

#include <gtest/gtest.h>

namespace {

std::optional<PallockOptions> Parse(const QStringList& arguments) {
    QString error;
    auto options = ParsePallockOptions(arguments, error);
    if (!options) {
        EXPECT_FALSE(error.isEmpty());
    }
    return options;
}

TEST(PallockOptions, NoneGiveTheWindowDefaults) {
    const auto options = Parse({});
    ASSERT_TRUE(options);
    EXPECT_FALSE(options->connect);
    EXPECT_FALSE(options->verbose);
    EXPECT_FALSE(options->quitAfterSeconds);
    EXPECT_EQ(options->fields.amplifierAddress, "127.0.0.1");
    EXPECT_EQ(options->fields.amplifierPort, 1234);
    EXPECT_EQ(options->fields.scoringPort, 4000);
    EXPECT_EQ(options->fields.lead, 1);
    EXPECT_EQ(options->language, InterfaceLanguage::Chinese);
}

TEST(PallockOptions, EveryOptionReachesItsField) {
    const auto options = Parse({"--amplifier", "localhost:5000", "--scoring", "127.0.0.1:6000", "--connect", "--lead",
                                "11", "--threshold", "0.25", "--frequencies", "8,9,10,11,12,13.5", "--verbose",
                                "--quit-after", "2.5", "--lang", "en"});
    ASSERT_TRUE(options);
    EXPECT_EQ(options->language, InterfaceLanguage::English);
    EXPECT_EQ(options->fields.amplifierAddress, "localhost");
    EXPECT_EQ(options->fields.amplifierPort, 5000);
    EXPECT_EQ(options->fields.scoringAddress, "127.0.0.1");
    EXPECT_EQ(options->fields.scoringPort, 6000);
    EXPECT_TRUE(options->connect);
    EXPECT_TRUE(options->verbose);
    EXPECT_EQ(options->fields.lead, 11);
    EXPECT_EQ(options->fields.threshold, 0.25);
    EXPECT_EQ(options->fields.stimulusFrequencies, (SsvepDetector::Frequencies{8, 9, 10, 11, 12, 13.5}));
    ASSERT_TRUE(options->quitAfterSeconds);
    EXPECT_EQ(*options->quitAfterSeconds, 2.5);
}

TEST(PallockOptions, BadValuesAreRefused) {
    const std::vector<QStringList> bad = {
        {"--lead", "0"},          {"--lead", "22"},           {"--lead", "x"},
        {"--lead"},               {"--amplifier", "host"},    {"--amplifier", "host:0"},
        {"--amplifier", ":80"},   {"--scoring", "h:70000"},   {"--threshold", "abc"},
        {"--threshold", "nan"},   {"--frequencies", "1,2,3"}, {"--frequencies", "10,12,11,12.5,11.5,1000"},
        {"--quit-after", "-1"},   {"--quit-after", "soon"},   {"--port", "4000"},
        {"extra"},                {"--method", "svm"},        {"--method", "FFT"},
        {"--leads", "0"},         {"--leads", "3,3"},         {"--leads", ""},
        {"--leads", "1,,2"},      {"--rate", "19"},           {"--rate", "20001"},
        {"--rate", "256.5"},      {"--rate", "256", "--frequencies", "10,12,11,12.5,11.5,300"},
        {"--cue", "0"},           {"--cue", "0x"},            {"--offset", "-1"},
        {"--offset", "61"},       {"--dynamic", "1:0.25"},    {"--dynamic", "3:0.25:1"},
        {"--margin", "-0.5"},     {"--margin", "inf"},        {"--adapt", "0"},
        {"--adapt", "1001"},      {"--abstain", "yes"},       {"--lang", "de"},
        {"--lang"}};
    for (const auto& arguments : bad) EXPECT_FALSE(Parse(arguments)) << arguments.join(' ').toStdString();
}

TEST(PallockOptions, MethodLeadsAndRate) {
    auto options = Parse({"--method", "fbcca", "--leads", "11,12", "--rate", "256", "--frequencies", "13,21,17,13,21,17"});
    ASSERT_TRUE(options);
    EXPECT_EQ(options->fields.method, SsvepMethod::Fbcca);
    EXPECT_EQ(options->fields.leads, (std::vector<int>{11, 12}));
    EXPECT_EQ(options->fields.lead, 11);
    EXPECT_EQ(options->fields.sampleRate, 256);
    // Electrode labels as the electrode file names them.
    options = Parse({"--method", "cca", "--leads", "O1,o2,Fp1"});
    ASSERT_TRUE(options);
    EXPECT_EQ(options->fields.leads, (std::vector<int>{11, 12, 1}));
    options = Parse({"--lead", "O2"});
    ASSERT_TRUE(options);
    EXPECT_EQ(options->fields.lead, 12);
    EXPECT_FALSE(Parse({"--lead", "O1,O2"})) << "one lead";
    EXPECT_FALSE(Parse({"--leads", "O1,Oz"}));
    // A single lead is one lead for every method.
    options = Parse({"--lead", "5"});
    ASSERT_TRUE(options);
    EXPECT_EQ(options->fields.leads, std::vector<int>{5});
    EXPECT_EQ(options->fields.method, SsvepMethod::Fft);
    EXPECT_EQ(options->fields.sampleRate, 1000);
}

}  // namespace

TEST(PallockOptions, DecisionOptionsReachTheRules) {
    const auto options = Parse({"--cue", "0x800B", "--offset", "0.5", "--dynamic", "1:0.25:3", "--margin", "1.0",
                                "--adapt", "20", "--abstain"});
    ASSERT_TRUE(options);
    const DecisionRules& rules = options->fields.rules;
    EXPECT_EQ(rules.cue, 0x800B);
    EXPECT_EQ(rules.offsetSeconds, 0.5);
    EXPECT_EQ(rules.dynamic, (DynamicRange{1.0, 0.25, 3.0}));
    EXPECT_EQ(rules.margin, 1.0);
    EXPECT_EQ(rules.adaptResults, 20);
    EXPECT_TRUE(rules.abstainAtEnd);
    EXPECT_TRUE(Parse({})->fields.rules.Plain());
    EXPECT_EQ(Parse({})->fields.rules.offsetSeconds, 1.0);
}
