#pragma once
// One numbering for leads: a lead is a 1-based slot of the stream's records,
// and the electrode in each slot comes from the electrode file that Vostrel
// reads, laid out as a recording lays it out (slots 1-8 electrodes 1-8,
// slots 11-18 electrodes 9-16, slot 21 the events; slots 9, 10, 19 and 20
// hold no electrode). So lead 11 is O1 in the default montage, the electrode
// that Vostrel's map labels "O1(9)".
//
// Qt-free; a value type.

#include <array>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/sample_record.h"

class LeadNames {
public:
    static constexpr int kSlots = SampleRecord::kSlotCount;

    // No labels known: leads are numbers only.
    LeadNames() = default;
    // The electrode file's labels in its order, the last one the event channel's.
    explicit LeadNames(std::span<const std::string> electrodeLabels);
    // Reads the electrode file; no labels when it cannot be read.
    static LeadNames FromElectrodeFile(const std::string& path);
    // The default electrode file beside the program, as Vostrel finds it.
    static LeadNames Default();

    // The electrode of a lead, empty for a slot without one.
    const std::string& LabelOf(int lead) const;
    // The lead of an electrode label, compared without regard to case.
    std::optional<int> LeadOf(std::string_view label) const;

private:
    std::array<std::string, kSlots> bySlot_{};
};

// A list of leads as typed: "O1,O2", "11,12", or as shown, "11(O1),12(O2)".
// Nothing when a lead is unknown, outside 1 to 21 or given twice, when the
// list is empty, or when a number and its label disagree.
std::optional<std::vector<int>> ParseLeadList(std::string_view text, const LeadNames& names);
// The leads as shown: each number with its electrode beside it, "11(O1),12(O2)".
std::string FormatLeadList(std::span<const int> leads, const LeadNames& names);
