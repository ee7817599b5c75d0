#pragma once
// GDF files through libbiosig, with the events in the file's event table.

#include <memory>
#include <string>

#include "acquisition/export/signal_writer.h"

// GDF names user events by an index into a table of at most 255 texts.
inline constexpr std::size_t kMaxGdfEventCodes = 255;

std::unique_ptr<SignalWriter> OpenGdfWriter(const std::string& path, const SignalLayout& layout, std::string& error);
