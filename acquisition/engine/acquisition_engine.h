#pragma once
// The acquisition state that the view holds, and the one thread that reads the
// device and hands each packet to the recorder, the streaming server and the
// display.
//
// Threads: every public operation runs on the UI thread. The acquisition
// thread owns the packet pipeline while it runs (handed over at its start,
// handed back before the join), and reads the mode, the recording flag, the
// device and the ports, which change only while no thread runs or are
// atomics. The recording it appends to is shared under a lock.

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
#include "acquisition/engine/packet_pipeline.h"
#include "acquisition/engine/recording_clock.h"
#include "acquisition/recording/eol_file.h"
#include "acquisition/recording/recording_sidecar.h"
#include "common/executable_directory.h"

// Where the packets come from; the settings dialog lists them in this order.
enum class SignalSource { Playback, Amplifier };

// What the settings dialog confirms.
struct AcquisitionSettings {
    SignalSource source = SignalSource::Amplifier;
    int packetSize = 40;
    int channelCount = 17;
    int sampleRate = 1000;
    double scale = eol::kDefaultScale;
    std::string simulatedDataPath;
    std::string electrodeFilePath;  // empty: the default file

    bool operator==(const AcquisitionSettings&) const = default;
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
    static constexpr int kDefaultImpedance = PacketPipeline::kDefaultImpedance;
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
    // The amplifier's microvolts per count, when the user knows them; kept in
    // the sidecar so that exports need not be told again.
    void SetMicrovoltsPerCount(std::optional<double> value) { microvoltsPerCount_ = value; }

    bool InitialiseAcquisition();
    // Each true when acquisition runs in that mode afterwards.
    bool StartWaveform();
    bool StartImpedance();
    // The impedance command: back to waveforms while impedances are measured,
    // else to impedances (starting acquisition when stopped).
    bool ToggleImpedance();
    void StopAcquisition();

    // The settings dialog's confirmation. Kept over initialisation's defaults;
    // the next start initialises afresh so device, buffers and displays agree.
    void ApplySettings(const AcquisitionSettings& settings);
    // What the next start will use: the defaults until settings are confirmed
    // or initialisation has run, the engine's own settings after.
    AcquisitionSettings SettingsForNextStart() const;
    // The settings in use (all zero before initialisation or confirmation).
    const AcquisitionSettings& Settings() const { return settings_; }
    // The electrode file the settings name, or the default one.
    const std::string& ElectrodeFile() const;

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

    bool Initialised() const { return initialised_; }
    bool Running() const { return thread_.joinable(); }
    bool Recording() const { return recording_; }
    AcquisitionMode Mode() const { return mode_; }

    // Enable rules.
    bool CanStart() const { return !Running(); }
    // Start also leaves the impedance map for the waveforms while running.
    bool CanStartWaveform() const { return !Running() || mode_ == AcquisitionMode::Impedance; }
    bool MeasuringImpedance() const { return Running() && mode_ == AcquisitionMode::Impedance; }
    bool CanStop() const { return Running(); }
    bool CanRecord() const { return Running() && !recording_; }
    bool CanToggleRecording() const { return Running(); }

    // The displays' rows: per row its electrode (the last one the event channel).
    std::span<const ChannelRecord> ChannelRecords() const { return channelRecords_; }
    // The device the last initialisation opened (closed again after a
    // stop); null before.
    const AmplifierDevice* CurrentDevice() const { return device_; }
    // What the acquisition thread works with, while it does not run (tests
    // look at the canceller and the impedances); null while it runs.
    const PacketPipeline* IdlePipeline() const { return idlePipeline_ ? &*idlePipeline_ : nullptr; }

    // A few times a second while running: the link's health. Says once on
    // standard output when data stops coming. (The thread shows
    // "放大器连接断开" once each time the device goes away.)
    EngineHealth PollHealth();
    RunFailures Failures() const;
    // Packets the thread has read since the program started.
    std::uint64_t PacketsDelivered() const { return packets_; }
    // What the user knows the device in use by.
    std::string DeviceName() const;

private:
    bool Start(AcquisitionMode newMode);
    void SetUpMontage();
    void SetUpPipeline();
    bool OpenSelectedDevice();
    void UseRecordingLabels();
    void SetUpDisplays();
    void EndRecording();
    void FinishSidecar();
    void WritePublished();
    SidecarInfo DescribeRecording() const;
    std::uint64_t LostFramesNow() const;
    // disconnections: how often the device had gone away before the start.
    void AcquisitionThread(PacketPipeline& pipeline, std::uint64_t disconnections);
    void AppendToRecording(std::span<const SampleRecord> records);
    void ShowMessage(const std::string& text);
    void SetDeviceFailure(std::string text);
    std::string NoteRecordingFailure();
    bool DeviceWentAway() const;
    void TellOfDisconnection(std::uint64_t& seen);

    FilePlaybackSource& playback_;
    ModalAmplifier& amplifier_;
    EnginePorts ports_;

    // UI thread; the acquisition thread reads device_ and ports_ only while
    // it runs, when they do not change (the settings command is disabled while
    // running).
    AcquisitionSettings settings_{.source = SignalSource::Playback, .packetSize = 0, .channelCount = 0,
                                  .sampleRate = 0, .scale = 0.0};
    bool settingsConfirmed_ = false;
    bool initialised_ = false;
    std::string defaultElectrodeFilePath_;
    std::optional<double> microvoltsPerCount_;
    AmplifierDevice* device_ = nullptr;
    std::vector<int> montageColumns_;
    std::vector<ChannelRecord> channelRecords_;
    // Here while stopped; the acquisition thread's own while it runs.
    std::optional<PacketPipeline> idlePipeline_{std::in_place};

    // Shared with the acquisition thread.
    std::thread thread_;
    std::atomic<bool> runFlag_{false};
    std::atomic<AcquisitionMode> mode_{AcquisitionMode::Waveform};
    std::atomic<bool> recording_{false};

    // Health: the thread stamps each packet; the UI thread looks.
    using Clock = std::chrono::steady_clock;
    std::atomic<Clock::rep> lastPacketAt_{0};  // or the start, before the first packet
    std::atomic<std::uint64_t> packets_{0};
    bool noDataSaid_ = false;                  // UI thread
    std::string recordingPath_;                // UI thread, before the thread may append
    // Held by the thread while it appends, and by the UI thread while it
    // closes a recording the thread may be appending to.
    std::mutex appendMutex_;
    EolFile recordingFile_;
    RecordingClock recordingClock_;
    RecordingSidecar sidecar_;                 // UI thread
    std::uint64_t lostAtRecordingStart_ = 0;   // UI thread
    bool recordingUnfinished_ = false;         // UI thread: opened, no summary yet
    std::optional<RecordingSummary> summary_;  // UI thread
    mutable std::mutex failuresMutex_;
    RunFailures failures_;
};
