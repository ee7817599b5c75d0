#pragma once
// BDF+ (24-bit) and EDF+ (16-bit) files through EDFlib.

#include <memory>
#include <string>

#include "acquisition/export/signal_writer.h"

// Samples per data record: the longest run of at most one second that divides
// the recording exactly, whose duration the header states exactly, and with
// enough records to carry the annotations. 0 when there is none.
int DataRecordSamples(std::int64_t samples, int sampleRate, std::int64_t annotations);

// Nothing, with the reason in error, when the file cannot be created or the
// layout cannot be written (see DataRecordSamples).
std::unique_ptr<SignalWriter> OpenEdfWriter(const std::string& path, bool bdf, const SignalLayout& layout,
                                            std::string& error);
