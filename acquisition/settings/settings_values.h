#pragma once
// Checks and imports of acquisition settings, shared by the settings dialog and
// the command line.

#include <string>

#include "acquisition/engine/acquisition_engine.h"

// The field whose value is refused, or None.
enum class SettingsField { None, SampleRate, PacketSize, ChannelCount };

// Far above any EEG amplifier; it bounds the per-packet buffers the
// acquisition thread allocates (a packet is at most one second of data).
inline constexpr int kMaxSampleRate = 20000;

// A sample rate below 5 or above kMaxSampleRate, a packet size that is not a
// positive multiple of 4 or exceeds the sample rate, or a channel count outside
// 2..256 cannot be acquired without breaking the pacing, the record layout or
// the memory.
SettingsField FirstInvalidSetting(int sampleRate, int packetSize, int channelCount);

// The scale a confirmation passes on when no header was imported.
double CurrentScale(const AcquisitionEngine& engine);

// Settings for playing an EOL file, as the settings dialog makes them when the
// file's header is imported with "仿真信号" selected. False, with a reason in
// error, when the header cannot be read or holds settings that cannot be played.
bool PlaybackSettings(const std::string& path, AcquisitionSettings& settings, std::string& error);
