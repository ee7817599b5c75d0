#include "lead_names.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>


namespace {

// The default montage's labels, in the electrode file's order.
const std::vector<std::string> kMontage = {"Fp1", "Fp2", "F3", "F4", "C3", "C4", "P3", "P4", "O1",
                                           "O2",  "F7",  "F8", "T3", "T4", "T5", "T6", "Event"};

TEST(LeadNames, EachSlotCarriesTheElectrodeARecordingPutsThere) {
    const LeadNames names(kMontage);
    const std::pair<int, const char*> slots[] = {{1, "Fp1"}, {8, "P4"},  {9, ""},  {10, ""},     {11, "O1"}, {12, "O2"},
                                                 {18, "T6"}, {19, ""},   {20, ""}, {21, "Event"}, {0, ""},    {22, ""}};
    for (const auto& [lead, label] : slots) EXPECT_EQ(names.LabelOf(lead), label) << lead;
    EXPECT_EQ(names.LeadOf("o1"), 11);
    EXPECT_EQ(names.LeadOf("OZ"), std::nullopt);
    EXPECT_EQ(LeadNames().LabelOf(11), "") << "no file: numbers only";
}

TEST(LeadNames, TheShippedFileGivesTheSameNumbering) {
    const LeadNames names = LeadNames::FromElectrodeFile(KESTROM_LOC);
    EXPECT_EQ(names.LabelOf(11), "O1");
    EXPECT_EQ(names.LabelOf(12), "O2");
    EXPECT_EQ(names.LabelOf(1), "Fp1");
    EXPECT_EQ(LeadNames::FromElectrodeFile("/nonexistent/kestrom.dll").LabelOf(11), "");
}

TEST(LeadNames, ListsAreReadAsTypedOrAsShown) {
    const LeadNames names(kMontage);
    const struct {
        const char* text;
        std::optional<std::vector<int>> leads;
    } cases[] = {
        {"11,12", std::vector<int>{11, 12}},
        {"O1,O2", std::vector<int>{11, 12}},
        {" o1 , 12(O2) ", std::vector<int>{11, 12}},
        {"11(O1),12(O2),13(F7)", std::vector<int>{11, 12, 13}},
        {"9", std::vector<int>{9}},  // a slot without an electrode is still a lead
        {"21", std::vector<int>{21}},
        {"11(O2)", std::nullopt},  // number and label disagree
        {"O1,11", std::nullopt},   // twice
        {"Oz", std::nullopt},
        {"0", std::nullopt},
        {"22", std::nullopt},
        {"", std::nullopt},
        {"1,,2", std::nullopt},
        {"11(O1", std::nullopt},
        {"-1", std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(ParseLeadList(c.text, names), c.leads) << c.text;

    EXPECT_EQ(FormatLeadList(std::vector<int>{11, 12, 9}, names), "11(O1),12(O2),9");
    EXPECT_EQ(FormatLeadList(std::vector<int>{11}, LeadNames()), "11");
    for (const char* shown : {"1(Fp1)", "11(O1),12(O2)", "21(Event),9"})
        EXPECT_EQ(FormatLeadList(*ParseLeadList(shown, names), names), shown) << "shown text reads back";
}

}  // namespace
