#pragma once
// GDF files through libbiosig, with the events in the file's event table.

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>
#include <string>

#include "acquisition/export/signal_writer.h"

// Written by libbiosig, then made a GDF 2.20 without the tagged third header
// (see MakeGdf220), so that MNE-Python reads it as libbiosig and EDFbrowser do.
// The user-specific event codes, where texts that are not numbers go.
inline constexpr std::size_t kMaxGdfUserCode = 255;

struct GdfEventCode {
    std::string text;
    std::uint16_t code;
};
using GdfEventCodes = std::vector<GdfEventCode>;

// The code of each annotation text: its own number when it is one from 1 to
// 65535, else a user-specific code from 1 to 255 no number uses. Nothing when
// those run out.
std::optional<GdfEventCodes> ChooseGdfEventCodes(const std::vector<std::string>& texts);

// Turns libbiosig's GDF 2.51 of one sample per record into a GDF 2.20: the
// record duration as the fraction 1/sampleRate, no third header. False when
// the file cannot be read or written.
bool MakeGdf220(const std::string& path, int sampleRate);

std::unique_ptr<SignalWriter> OpenGdfWriter(const std::string& path, const SignalLayout& layout, std::string& error);
