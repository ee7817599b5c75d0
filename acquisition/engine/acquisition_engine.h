#pragma once
// The acquisition state that the view holds, and the one thread that reads the
// device and hands each packet to the recorder, the streaming server and the
// display.
//
// Threads: every public operation runs on the UI thread. The acquisition
// thread reads mode, recording, the settings, device and the ports, and writes
// impedances. The settings and per-channel arrays change only while no thread
// runs (the settings command is disabled while running). Shared flags are
// atomics; nothing else is shared without a lock.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "acquisition/electrodes/electrode_file.h"
#include "acquisition/electrodes/montage.h"
#include "acquisition/engine/engine_ports.h"
#include "acquisition/engine/file_playback_source.h"
#include "acquisition/engine/recording_clock.h"
#include "acquisition/engine/signal_conditioning.h"
#include "acquisition/recording/eol_file.h"
#include "acquisition/recording/recording_sidecar.h"
#include "common/executable_directory.h"

// What the settings dialog confirms.
struct AcquisitionSettings {
    int amplifierType = 1;
    int packetSize = 40;
    int channelCount = 17;
    int sampleRate = 1000;
    double scale = eol::kDefaultScale;
    std::string simulatedDataPath;
    std::string electrodeFilePath;  // empty: the default file
};

// The link as the status bar shows it.
struct EngineHealth {
    LinkState state = LinkState::Idle;
    bool noData = false;  // acquiring, and no packet for kNoDataAfter
    std::uint64_t lostFrames = 0;
    std::uint64_t repeatedFrames = 0;
    bool framesProvenAlone = true;  // see DeviceHealth
};

// What went wrong in this run, for the exit status of a scripted run. Each is
// empty or names the device or file and the reason.
struct RunFailures {
    std::string device;     // could not be opened
    std::string recording;  // could not be opened or written
};

// How a recording ended, for the status bar and standard output.
struct RecordingSummary {
    std::string path;
    std::int64_t records = 0;
    double seconds = 0.0;
    std::uint64_t framesLost = 0;
};

struct EnginePorts {
    EngineHost* host = nullptr;
    WaveView* wave = nullptr;
    ImpedanceView* impedance = nullptr;
    PacketStream* stream = nullptr;
};

class AcquisitionEngine {
public:
    static constexpr int kDefaultImpedance = 2550000;
    static constexpr const char* kFixedPlaybackPath = "E:\\ERP\\什么都不接2.EOL";
    static constexpr auto kNoDataAfter = std::chrono::seconds(3);

    AcquisitionEngine(FilePlaybackSource& playback, ModalAmplifier& amplifier, EnginePorts ports = {});
    ~AcquisitionEngine();
    AcquisitionEngine(const AcquisitionEngine&) = delete;
    AcquisitionEngine& operator=(const AcquisitionEngine&) = delete;

    void SetPorts(EnginePorts ports) { ports_ = ports; }
    // The electrode file that initialisation reads while no settings were confirmed.
    void SetDefaultElectrodeFile(std::string path) { defaultElectrodeFilePath_ = std::move(path); }
    const std::string& DefaultElectrodeFile() const { return defaultElectrodeFilePath_; }

    bool InitialiseAcquisition();
    void StartWaveform();
    void StartImpedance();
    // The impedance command: back to waveforms while impedances are measured,
    // else to impedances (starting acquisition when stopped).
    void ToggleImpedance();
    void StopAcquisition();

    // The settings dialog's confirmation. Kept over initialisation's defaults;
    // the next start initialises afresh so device, buffers and displays agree.
    void ApplySettings(const AcquisitionSettings& settings);
    // What the next start will use: the defaults until settings are confirmed
    // or initialisation has run, the engine's own settings after.
    AcquisitionSettings SettingsForNextStart() const;

    // Save data, once the user has chosen a path: creates the file, writes the
    // header and turns recording on. False (and "file error" on standard
    // output) when the file cannot be written.
    bool OpenRecording(const std::string& path, ExistingFile existing = ExistingFile::Replace);
    // Ctrl+R while recording: the file and its sidecar are closed, acquisition
    // goes on.
    void CloseRecording();
    // A few times a second while recording: writes what the thread has
    // published (start time, amplifier events, frames lost) into the
    // sidecar, and finishes it once the recording has ended.
    void ServiceRecording();
    // A marker at this moment of the recording, written to its events file.
    // False when nothing is being recorded.
    bool AddMarker(const std::string& value, MarkerSource source);
    // The summary of the recording that ended last, once.
    std::optional<RecordingSummary> TakeRecordingSummary();

    // Enable rules.
    bool CanStart() const { return running == 0; }
    // Start also leaves the impedance map for the waveforms while running.
    bool CanStartWaveform() const { return running == 0 || mode == 1; }
    bool MeasuringImpedance() const { return running == 1 && mode == 1; }
    bool CanStop() const { return running == 1; }
    bool CanRecord() const { return running == 1 && recording == 0; }
    bool CanToggleRecording() const { return running == 1; }

    bool ThreadExists() const { return threadHandle.joinable(); }

    // A few times a second while running: the link's health. Says once on
    // standard output when data stops coming. (The thread shows
    // "放大器连接断开" once each time the device goes away.)
    EngineHealth PollHealth();
    RunFailures Failures() const;
    // Packets the thread has read since the program started.
    std::uint64_t PacketsDelivered() const { return packets_; }
    // What the user knows the device in use by.
    std::string DeviceName() const;

    // Settings.
    int packetSize = 0;
    int channelCount = 0;
    int sampleRate = 0;
    int amplifierType = 0;
    double scale = 0.0;
    // The amplifier's microvolts per count, when the user knows them; kept in
    // the sidecar so that exports need not be told again.
    std::optional<double> microvoltsPerCount;
    std::string electrodeFilePath;
    std::string simulatedDataPath;

    int initialised = 0;
    AmplifierDevice* device = nullptr;
    std::atomic<int> mode{0};
    int shownWindow = 0;
    std::atomic<int> running{0};
    std::atomic<int> recording{0};

    // The displays' rows: the packet column each shows (the last one the event
    // channel), and per row its electrode and whether it is shown.
    std::vector<int> montageColumns;
    std::vector<ChannelRecord> channelRecords;
    std::vector<int> channelEnabled;
    std::vector<int> impedances;  // per packet column, as the device measures them
    std::atomic<int> impedanceMin{0};
    std::atomic<int> impedanceMax{100};
    int secondsPerScreen = 4;

    PowerLineCanceller canceller;  // cancellerWeights and referenceTable

    std::thread threadHandle;
    std::atomic<std::uint8_t> runFlag{0};
    std::atomic<std::uint8_t> aliveFlag{0};

    EolFile recordingFile;

private:
    void Start(int newMode);
    void SetUpMontage();
    bool OpenSelectedDevice();
    void UseRecordingLabels();
    void SetUpDisplays();
    void EndRecording();
    void FinishSidecar();
    void WritePublished();
    SidecarInfo DescribeRecording() const;
    std::uint64_t LostFramesNow() const;
    void AcquisitionThread();
    void AppendToRecording(std::span<const SampleRecord> records);
    void ShowMessage(const std::string& text);
    void SetDeviceFailure(std::string text);
    std::string NoteRecordingFailure();
    bool DeviceWentAway() const;
    void TellOfDisconnection();

    FilePlaybackSource& playback_;
    ModalAmplifier& amplifier_;
    EnginePorts ports_;
    bool settingsConfirmed_ = false;
    std::string defaultElectrodeFilePath_;

    // Health: the thread stamps each packet; the UI thread looks.
    using Clock = std::chrono::steady_clock;
    std::atomic<Clock::rep> lastPacketAt_{0};  // or the start, before the first packet
    std::atomic<std::uint64_t> packets_{0};
    bool noDataSaid_ = false;                  // UI thread
    std::uint64_t disconnectionsSeen_ = 0;     // the thread's while it runs
    std::string recordingPath_;                // UI thread, before the thread may append
    // Held by the thread while it appends, and by the UI thread while it
    // closes a recording the thread may be appending to.
    std::mutex appendMutex_;
    RecordingClock recordingClock_;
    RecordingSidecar sidecar_;                 // UI thread
    std::uint64_t lostAtRecordingStart_ = 0;   // UI thread
    bool recordingUnfinished_ = false;         // UI thread: opened, no summary yet
    std::optional<RecordingSummary> summary_;  // UI thread
    mutable std::mutex failuresMutex_;
    RunFailures failures_;
};
