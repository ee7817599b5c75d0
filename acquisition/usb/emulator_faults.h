#pragma once
// The faults a link to a real amplifier shows, for the emulator to inject on
// purpose: bytes lost in the middle of a frame, whole frames lost, the line
// stalling in the middle of a frame, the amplifier falling silent, the adapter
// vanishing and coming back, noise on the line, a frame sent again, bytes
// from nowhere between frames, and a counter with a bit flipped. Each strikes periodically, counted in
// frames of 40 ms, so that a run is the same every time.
//
// As text, comma-separated items KIND=AMOUNT/EVERY, EVERY in seconds:
//   lose-bytes=N/S   N bytes (1 to 2085) cut from the middle of one frame
//   cut-start=N/S    N bytes (1 to 2085) cut from the start of one frame
//   cut-end=N/S      N bytes (1 to 2085) cut from the end of one frame
//   lose-frames=N/S  N whole frames not sent
//   pause=MS/S       the line stalls for MS ms in the middle of a frame
//   silence=D/S      D seconds of frames made but not sent
//   vanish=D/S       the adapter is gone for D seconds; the amplifier then
//                    waits to be handshaken and told its mode again
//   noise=N/S        N bytes (52 to 2081) in the middle of one frame changed;
//                    a whole sample block or more, so that the frame's
//                    constant bytes tell (fewer would change samples alone,
//                    which no receiver can tell without a checksum)
//   repeat=N/S       one frame sent N more times (1 to 5) right after itself
//   insert=N/S       N random bytes (1 to 10430) sent between two frames
//   flip=B/S         bit B (0 to 7) of one frame's counter flipped
//   until=S          no fault strikes after S seconds of frames (a calm
//                    end, so that a run can be checked to the last frame)

#include <cstdint>
#include <string>
#include <string_view>

struct PeriodicFault {
    int amount = 0;       // bytes, frames, milliseconds or frames of outage
    int everyFrames = 0;  // 0: never
    std::uint64_t untilFrame = 0;  // 0: for ever
    bool Due(std::uint64_t frame) const {
        return everyFrames > 0 && amount > 0 && frame > 0 && frame % static_cast<std::uint64_t>(everyFrames) == 0 &&
               (untilFrame == 0 || frame < untilFrame);
    }
};

struct EmulatorFaults {
    PeriodicFault loseBytes;
    PeriodicFault cutStart;
    PeriodicFault cutEnd;
    PeriodicFault loseFrames;
    PeriodicFault pause;
    PeriodicFault silence;  // amount in frames
    PeriodicFault vanish;   // amount in frames
    PeriodicFault noise;
    PeriodicFault repeat;
    PeriodicFault insert;
    PeriodicFault flip;  // amount: the bit, plus one
    bool Any() const {
        return loseBytes.everyFrames || cutStart.everyFrames || cutEnd.everyFrames || loseFrames.everyFrames || pause.everyFrames || silence.everyFrames ||
               vanish.everyFrames || noise.everyFrames || repeat.everyFrames || insert.everyFrames ||
               flip.everyFrames;
    }
};

// What the faults did, and what a reader too slow to keep up cost.
struct FaultCounts {
    std::uint64_t framesMade = 0;
    std::uint64_t framesLost = 0;     // never arrived whole because of a fault
    std::uint64_t framesDropped = 0;  // made while a full second waited unread
    std::uint64_t pauses = 0;
    std::uint64_t vanishes = 0;
    std::uint64_t framesRepeated = 0;  // copies sent of frames already sent
    std::uint64_t bytesInserted = 0;
    std::uint64_t countersFlipped = 0;
};

// The fault kinds' names, for messages: "lose-bytes, lose-frames, ...".
std::string FaultNames();
// True when key names a fault; then value is parsed into faults, or error
// says what is wrong.
bool IsFaultKey(std::string_view key);
bool ParseFault(std::string_view key, std::string_view value, EmulatorFaults& faults, std::string& error);
// A whole comma-separated list, as amp-emulator's --faults takes it.
bool ParseFaults(std::string_view text, EmulatorFaults& faults, std::string& error);
// One line for the end of a run.
std::string DescribeCounts(const FaultCounts& counts);
