#include "lead_names.h"

#include <algorithm>
#include <cctype>
#include <charconv>

#include "acquisition/electrodes/electrode_file.h"
#include "acquisition/electrodes/montage.h"
#include "common/executable_directory.h"

namespace {

std::string_view Trimmed(std::string_view text) {
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (!text.empty() && blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && blank(text.back())) text.remove_suffix(1);
    return text;
}

bool SameIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

std::optional<int> Number(std::string_view text) {
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || text.empty()) return std::nullopt;
    return value;
}

// One entry: "11", "O1" or "11(O1)".
std::optional<int> ParseLead(std::string_view entry, const LeadNames& names) {
    entry = Trimmed(entry);
    const std::size_t open = entry.find('(');
    if (open != std::string_view::npos) {
        if (entry.back() != ')') return std::nullopt;
        const auto number = Number(Trimmed(entry.substr(0, open)));
        const auto named = names.LeadOf(Trimmed(entry.substr(open + 1, entry.size() - open - 2)));
        if (!number || !named || *number != *named) return std::nullopt;
        return number;
    }
    if (const auto number = Number(entry)) return number;
    return names.LeadOf(entry);
}

}  // namespace

LeadNames::LeadNames(std::span<const std::string> electrodeLabels) {
    const std::vector<int> slots = MontageColumns(kSlots);
    for (std::size_t row = 0; row < slots.size() && row < electrodeLabels.size(); ++row) {
        // The event channel is the file's last line, whatever the file's length.
        const bool event = row + 1 == electrodeLabels.size();
        const std::size_t slot = event ? SampleRecord::kEventSlot : static_cast<std::size_t>(slots[row]);
        if (!event && row + 1 >= slots.size()) break;  // more electrodes than the records hold
        bySlot_[slot] = electrodeLabels[row];
    }
}

LeadNames LeadNames::FromElectrodeFile(const std::string& path) {
    std::vector<ChannelRecord> records(MontageColumns(kSlots).size());
    const int read = ReadElectrodeLocations(records, path);
    if (read <= 0) return {};
    std::vector<std::string> labels;
    for (int i = 0; i < read && static_cast<std::size_t>(i) < records.size(); ++i)
        labels.emplace_back(records[static_cast<std::size_t>(i)].label);
    return LeadNames(labels);
}

LeadNames LeadNames::Default() { return FromElectrodeFile(DefaultElectrodeFilePath(ExecutableDirectory())); }

const std::string& LeadNames::LabelOf(int lead) const {
    static const std::string none;
    if (lead < 1 || lead > kSlots) return none;
    return bySlot_[static_cast<std::size_t>(lead - 1)];
}

std::optional<int> LeadNames::LeadOf(std::string_view label) const {
    if (label.empty()) return std::nullopt;
    for (int slot = 0; slot < kSlots; ++slot)
        if (SameIgnoringCase(bySlot_[static_cast<std::size_t>(slot)], label)) return slot + 1;
    return std::nullopt;
}

std::optional<std::vector<int>> ParseLeadList(std::string_view text, const LeadNames& names) {
    std::vector<int> leads;
    for (std::size_t start = 0;;) {
        const std::size_t comma = text.find(',', start);
        const auto lead = ParseLead(text.substr(start, comma == std::string_view::npos ? text.npos : comma - start), names);
        if (!lead || *lead < 1 || *lead > LeadNames::kSlots) return std::nullopt;
        if (std::find(leads.begin(), leads.end(), *lead) != leads.end()) return std::nullopt;
        leads.push_back(*lead);
        if (comma == std::string_view::npos) break;
        start = comma + 1;
    }
    return leads;
}

std::string FormatLeadList(std::span<const int> leads, const LeadNames& names) {
    std::string text;
    for (int lead : leads) {
        if (!text.empty()) text += ',';
        text += std::to_string(lead);
        const std::string& label = names.LabelOf(lead);
        if (!label.empty()) text += "(" + label + ")";
    }
    return text;
}
