#pragma once
// Another program's recording (EDF, BDF, GDF) made ready to play as if it
// were the amplifier: each sample becomes a record in the layout that EOL
// files and the stream use, so recording and streaming the playback work as
// for an EOL file.
// - The first 16 signal channels at the file's rate fill the 16 signal slots
//   in order (slots 0-7, 10-17); event, status and annotation channels are
//   left out.
// - Values in volts (any prefix) become counts of 0.01 uV; values in any other
//   unit (an export's "count") are taken as counts, rounded.
// - Each event puts its code in the event slot at its onset sample, for its
//   duration or else one sample: the event's text when that is a whole
//   number, the type number of a GDF event, else a code of its own per
//   distinct text, from 1 up past the codes already taken.
//
// Free of any toolkit; any one thread.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "acquisition/foreign/foreign_recording.h"
#include "common/sample_record.h"

inline constexpr double kForeignMicrovoltsPerCount = 0.01;

struct ForeignPlayback {
    double sampleRate = 0.0;
    std::vector<SampleRecord> records;
    std::vector<std::string> labels;  // of the channels in the signal slots, in slot order
    // The codes given to event texts that are no number, for the user.
    std::vector<std::pair<std::int32_t, std::string>> namedCodes;
};

// The event slot's code of each event (see above); codes given to texts are
// added to namedCodes.
std::vector<std::int32_t> ForeignEventCodes(const std::vector<ForeignEvent>& events,
                                            std::vector<std::pair<std::int32_t, std::string>>& namedCodes);

// Whether path names a recording of another program: .edf, .bdf or .gdf, any case.
bool IsForeignRecordingPath(const std::string& path);

// Reads the whole recording. False, with "PATH: reason" in error, when it is
// refused, cannot be read or has no signal channel at its rate.
bool LoadForeignPlayback(const std::string& path, ForeignPlayback& playback, std::string& error);

// The packet size that plays rate (samples per second) in packets of about
// 40 ms: a multiple of 4, at least 4, at most the rate.
int PlaybackPacketSize(int rate);
