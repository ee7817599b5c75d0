#pragma once
// A recording written as an EOL file, so that Vostrel can play it to Pallock.

#include <string>

#include "recording.h"

struct EolExport {
    int packetSize = 0;
    double countsPerUnit = 0.0;  // stored value = recorded value × countsPerUnit, rounded
    std::int64_t records = 0;
    int eventsMoved = 0;         // events put one or more records late, their own record being taken
};

// The power of ten that keeps the largest magnitude below 2^30 counts (a
// quarter of the integers' range) with the most resolution; 1 for silence.
double CountsPerUnit(double largestMagnitude);

// Samples per packet for the EOL header: the largest multiple of 4 up to 40
// that divides the rate, else 4.
int PacketSizeFor(int sampleRate);

// Writes the recording's chosen leads (at most 16: lead k, 0-based, into
// record slot SampleRecord::kSignalSlots[k], so leads 1-8 then 11-18) and
// each event's code in the event slot of its record, as an EOL file whose
// header carries the recording's rate and PacketSizeFor it. The rate must be
// a whole number. False, with the reason in error, when it cannot be done.
bool WriteEolRecording(Recording& recording, const std::string& path, EolExport& written, std::string& error);
