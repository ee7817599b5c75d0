#pragma once
// The interface of every amplifier device the engine reads: the USB amplifier
// and the recording player are siblings behind it. Pacing (packet_pacing.h)
// and read cancellation (read_gate.h) are parts a device may hold.
//
// Threads: ReadPacketWithChannel runs on the acquisition thread only. Close
// and the device-specific open operations run on the UI thread while no
// acquisition thread runs. CancelReads and ResumeReads run on the UI
// thread, CancelReads possibly while a read is in progress: that is how Stop
// ends a read without waiting for its timeout. Health may be asked on any
// thread at any time.

#include <cstdint>
#include <span>
#include <string>

// The state of the link to the device, as the user is told it.
enum class LinkState {
    Idle,          // not asked for data (before a start, after a stop)
    NoDevice,      // could not be opened
    Connecting,    // opened and told to send, no whole frame yet
    Acquiring,     // whole frames arrive
    Disconnected,  // the device went away; it is being reopened
};

// What the amplifier is asked to send: EEG, or the excitation signals from
// which impedances are measured. The values are the amplifier's own mode
// numbers, which its mode command carries.
enum class AcquisitionMode { Waveform = 0, Impedance = 1 };

struct DeviceHealth {
    LinkState state = LinkState::Idle;
    // Frames the device sent that never arrived whole, since the start.
    std::uint64_t lostFrames = 0;
    // Times the device went away since it was opened.
    std::uint64_t disconnections = 0;
    // Frames that arrived again and were dropped, since the start.
    std::uint64_t repeatedFrames = 0;
    // Each frame is proven whole by its own bytes, and handed on at once;
    // false while frames wait for the headers after them (the first frames
    // of a run, or a device whose frames hold too few constant bytes).
    bool framesProvenAlone = true;
};

class AmplifierDevice {
public:
    virtual ~AmplifierDevice() = default;

    // Blocks until one packet is available and fills packet (packetSize ×
    // channelCount values, sample-major, the event channel last); channel
    // receives the index of the channel whose impedance the amplifier is
    // measuring. Returns 1 when a packet was delivered, 0 when not.
    virtual int ReadPacketWithChannel(std::span<std::int32_t> packet, int& channel) = 0;
    // The end of a run: the device stops sending until it is told a mode again.
    virtual void Close() = 0;

    // Wakes a read in progress; it and every later read return 0 at once
    // until ResumeReads.
    virtual void CancelReads() = 0;
    virtual void ResumeReads() = 0;

    virtual DeviceHealth Health() const = 0;
};

// The amplifier as the engine uses it: opened with the settings, told its
// mode at every start. OpenDevice and SetMode run on the UI thread, SetMode
// also while a read is in progress (the impedance command during acquisition).
class ModalAmplifier : public AmplifierDevice {
public:
    // True when the device is open and handshaken for these settings.
    virtual bool OpenDevice(int packetSize, int channelCount, int sampleRate) = 0;
    virtual void SetMode(AcquisitionMode mode) = 0;
    // The device and why it last failed to open or went away, for messages:
    // "/dev/ttyUSB0 (No such file or directory)". Any thread.
    virtual std::string LastFailure() const = 0;
    // What the user knows the device by ("/dev/ttyUSB0"). Any thread.
    virtual std::string Name() const = 0;
};
