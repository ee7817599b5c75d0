#include "acquisition/engine/acquisition_engine.h"

#include <pthread.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <system_error>

#include "acquisition/engine/packet_stopwatch.h"
#include "common/output_line.h"

namespace {
constexpr const char* kAmplifierOpenFailed = "放大器打开失败";
constexpr const char* kDataFileOpenFailed = "数据文件打开失败";
constexpr const char* kDataWriteFailed = "数据写入失败";
constexpr const char* kAmplifierDisconnected = "放大器连接断开";
constexpr const char* kNoDataLine = "amplifier: no data for 3 s";

// The message first, as users know it, then which file or device and why.
std::string WithDetail(const char* message, const std::string& detail) {
    return detail.empty() ? std::string(message) : std::string(message) + ": " + detail;
}

void PrintLine(std::string_view line) { WriteLine(std::cout, line); }
}  // namespace

AcquisitionEngine::AcquisitionEngine(FilePlaybackSource& playback, ModalAmplifier& amplifier, EnginePorts ports)
    : playback_(playback),
      amplifier_(amplifier),
      ports_(ports),
      defaultElectrodeFilePath_(DefaultElectrodeFilePath(ExecutableDirectory())) {}

AcquisitionEngine::~AcquisitionEngine() {
    StopAcquisition();
    recordingFile_.Close();
}

void AcquisitionEngine::ShowMessage(const std::string& text) {
    if (ports_.host) ports_.host->ShowMessage(text);
}

// The displays show rows of the montage, each under its own electrode; the
// device, the recording and the stream keep the packet's own layout.
void AcquisitionEngine::SetUpMontage() {
    montageColumns_ = MontageColumns(settings_.channelCount);
    channelRecords_.assign(montageColumns_.size(), ChannelRecord{});
    const std::string& path = ElectrodeFile();
    std::string error;
    if (ReadElectrodeLocations(channelRecords_, path, &error) == 0 && !error.empty()) ShowMessage(error);
    if (const std::string warning = ElectrodeLabelWarning(path); !warning.empty()) {
        std::cerr << "vostrel: warning: " << warning << std::endl;
    }
}

const std::string& AcquisitionEngine::ElectrodeFile() const {
    return settings_.electrodeFilePath.empty() ? defaultElectrodeFilePath_ : settings_.electrodeFilePath;
}

void AcquisitionEngine::SetUpPipeline() {
    idlePipeline_->SetUp(settings_.packetSize, settings_.channelCount, settings_.sampleRate, settings_.scale,
                         montageColumns_);
}

bool AcquisitionEngine::OpenSelectedDevice() {
    const AcquisitionSettings& s = settings_;
    if (s.source == SignalSource::Playback) {
        if (!playback_.OpenFile(s.packetSize, s.channelCount, s.sampleRate, DeviceName())) {
            SetDeviceFailure(playback_.OpenFailure());
            ShowMessage(WithDetail(kDataFileOpenFailed, playback_.OpenFailure()));
            return false;
        }
        device_ = &playback_;
        UseRecordingLabels();
    } else {
        if (!amplifier_.OpenDevice(s.packetSize, s.channelCount, s.sampleRate)) {
            SetDeviceFailure(amplifier_.LastFailure());
            ShowMessage(WithDetail(kAmplifierOpenFailed, amplifier_.LastFailure()));
            return false;
        }
        device_ = &amplifier_;
    }
    SetDeviceFailure({});
    return true;
}

// Another program's recording names its own channels, and its event texts
// were given codes the user must be told.
void AcquisitionEngine::UseRecordingLabels() {
    const std::vector<std::string>& labels = playback_.Labels();
    // Signal rows the recording has no channel for keep no electrode's name.
    const std::size_t signalRows = std::size(SampleRecord::kSignalSlots);
    for (std::size_t row = 0; !labels.empty() && row < signalRows && row < channelRecords_.size(); ++row) {
        char (&label)[ChannelRecord::kLabelSize] = channelRecords_[row].label;
        std::memset(label, 0, sizeof label);
        if (row < labels.size()) labels[row].copy(label, sizeof label - 1);
    }
    for (const auto& [code, text] : playback_.NamedCodes())
        PrintLine("event code " + std::to_string(code) + ": " + text);
}

void AcquisitionEngine::SetDeviceFailure(std::string text) {
    std::lock_guard lock(failuresMutex_);
    failures_.device = std::move(text);
}

// Keeps "PATH (reason)" of the recording's last failure for the run's end,
// prints the diagnostic line and returns the text.
std::string AcquisitionEngine::NoteRecordingFailure() {
    std::string text = recordingPath_ + " (" + recordingFile_.LastError() + ")";
    {
        std::lock_guard lock(failuresMutex_);
        failures_.recording = text;
    }
    PrintLine("file error");
    return text;
}

RunFailures AcquisitionEngine::Failures() const {
    std::lock_guard lock(failuresMutex_);
    return failures_;
}

std::string AcquisitionEngine::DeviceName() const {
    if (settings_.source == SignalSource::Playback)
        return settings_.simulatedDataPath.empty() ? kFixedPlaybackPath : settings_.simulatedDataPath;
    return amplifier_.Name();
}

bool AcquisitionEngine::DeviceWentAway() const {
    const LinkState state = amplifier_.Health().state;
    return settings_.source == SignalSource::Amplifier && (state == LinkState::Disconnected || state == LinkState::NoDevice);
}

EngineHealth AcquisitionEngine::PollHealth() {
    const DeviceHealth device = device_ ? device_->Health() : DeviceHealth{};
    EngineHealth health{device.state, false, device.lostFrames, device.repeatedFrames, device.framesProvenAlone};
    if (Running() && device.state != LinkState::Disconnected) {
        const auto since = Clock::now() - Clock::time_point(Clock::duration(lastPacketAt_.load()));
        health.noData = since >= kNoDataAfter;
        if (health.noData && !noDataSaid_) PrintLine(kNoDataLine);
        noDataSaid_ = health.noData;
    }
    return health;
}

// Every row shown, and the time labels from the start.
void AcquisitionEngine::SetUpDisplays() {
    const int rows = static_cast<int>(montageColumns_.size());
    const std::vector<int> everyRow(montageColumns_.size(), 1);
    if (ports_.wave) {
        ports_.wave->SetUp(settings_.packetSize, rows, settings_.sampleRate, channelRecords_);
        ports_.wave->SetChannelFlags(everyRow);
    }
    if (ports_.impedance) {
        ports_.impedance->SetUp(rows, channelRecords_);
        ports_.impedance->SetChannelFlags(everyRow);
    }
    if (ports_.wave) ports_.wave->ResetTimeLabels();
}

bool AcquisitionEngine::InitialiseAcquisition() {
    if (initialised_) return true;
    if (Running()) return false;
    if (!settingsConfirmed_) {
        settings_ = AcquisitionSettings{};
        settings_.electrodeFilePath = defaultElectrodeFilePath_;
    }
    SetUpMontage();
    if (!OpenSelectedDevice()) return false;
    SetUpPipeline();
    SetUpDisplays();
    initialised_ = true;
    return true;
}

void AcquisitionEngine::ApplySettings(const AcquisitionSettings& settings) {
    if (Running()) return;  // the settings command is disabled while running
    settings_ = settings;
    settingsConfirmed_ = true;
    SetUpMontage();
    SetUpPipeline();
    initialised_ = false;
}

AcquisitionSettings AcquisitionEngine::SettingsForNextStart() const {
    if (!settingsConfirmed_ && !initialised_) {
        AcquisitionSettings defaults;
        defaults.electrodeFilePath = defaultElectrodeFilePath_;
        return defaults;
    }
    return settings_;
}

bool AcquisitionEngine::StartWaveform() { return Start(AcquisitionMode::Waveform); }
bool AcquisitionEngine::StartImpedance() { return Start(AcquisitionMode::Impedance); }
bool AcquisitionEngine::ToggleImpedance() {
    return Start(MeasuringImpedance() ? AcquisitionMode::Waveform : AcquisitionMode::Impedance);
}

bool AcquisitionEngine::Start(AcquisitionMode newMode) {
    if (Running()) {
        // Switch the running engine; there is never a second thread.
        mode_ = newMode;
        amplifier_.SetMode(newMode);
        return true;
    }
    // An amplifier that went away (or never came) is opened afresh.
    if (DeviceWentAway()) initialised_ = false;
    if (!InitialiseAcquisition()) return false;
    mode_ = newMode;
    amplifier_.SetMode(newMode);
    device_->ResumeReads();
    lastPacketAt_ = Clock::now().time_since_epoch().count();
    noDataSaid_ = false;
    runFlag_ = true;
    // The pipeline goes with the thread and comes back as its last act,
    // which the join in StopAcquisition orders before any later use.
    PacketPipeline pipeline = std::move(*idlePipeline_);
    idlePipeline_.reset();
    try {
        thread_ = std::thread([this, pipeline = std::move(pipeline),
                               disconnections = device_->Health().disconnections]() mutable {
            AcquisitionThread(pipeline, disconnections);
            idlePipeline_.emplace(std::move(pipeline));
        });
    } catch (const std::system_error& error) {
        // The system is out of threads; a fresh pipeline serves the next try.
        std::cerr << "vostrel: cannot start the acquisition thread: " << error.what() << std::endl;
        idlePipeline_.emplace();
        SetUpPipeline();
        runFlag_ = false;
        device_->Close();
        return false;
    }
    return true;
}

void AcquisitionEngine::StopAcquisition() {
    if (!Running()) return;
    runFlag_ = false;
    if (device_) device_->CancelReads();
    thread_.join();
    EndRecording();
    FinishSidecar();
    if (ports_.wave) ports_.wave->SetRecordingPen(false);
    if (device_) {
        device_->ResumeReads();
        device_->Close();
    }
}

bool AcquisitionEngine::OpenRecording(const std::string& path, ExistingFile existing) {
    if (recording_) return false;
    FinishSidecar();  // of a recording a failed write ended
    recordingPath_ = path;
    if (!recordingFile_.Create(path, existing)) {
        // Said on the screen too: otherwise the command seems to do nothing.
        ShowMessage(WithDetail(kDataWriteFailed, NoteRecordingFailure()));
        return false;
    }
    if (!recordingFile_.WriteHeader(settings_.sampleRate, settings_.packetSize, settings_.scale)) {
        NoteRecordingFailure();
        recordingFile_.Close();
        ShowMessage(kDataWriteFailed);
        return false;
    }
    // The sidecar serves the recording and never the other way round: one
    // that cannot be written is told of, and the recording goes on.
    // A device or a pipe (/dev/full, a FIFO) gets no files beside it.
    std::string sidecarError;
    std::error_code ignored;
    if (std::filesystem::is_regular_file(path, ignored) && !sidecar_.Open(path, DescribeRecording(), sidecarError)) {
        std::cerr << "vostrel: cannot write the recording's sidecar " << sidecarError << std::endl;
    }
    recordingClock_.Reset(settings_.sampleRate, settings_.packetSize);
    lostAtRecordingStart_ = LostFramesNow();
    recordingUnfinished_ = true;
    // The pen turns black before the thread may append: a first append that
    // fails turns it blue again, and nothing here can undo that afterwards.
    if (ports_.wave) ports_.wave->SetRecordingPen(true);
    recording_ = true;
    return true;
}

void AcquisitionEngine::CloseRecording() {
    if (!recording_) return;
    {
        std::lock_guard lock(appendMutex_);
        EndRecording();
    }
    if (ports_.wave) ports_.wave->SetRecordingPen(false);
    FinishSidecar();
}

std::uint64_t AcquisitionEngine::LostFramesNow() const { return device_ ? device_->Health().lostFrames : 0; }

// The labels by record slot: the electrode file's lines in the order the
// records hold them, whatever the packet layout.
SidecarInfo AcquisitionEngine::DescribeRecording() const {
    SidecarInfo info;
    info.sampleRate = settings_.sampleRate;
    info.packetSize = settings_.packetSize;
    std::vector<ChannelRecord> electrodes(std::size(SampleRecord::kSignalSlots) + 1);
    ReadElectrodeLocations(electrodes, ElectrodeFile());
    info.labels.assign(SampleRecord::kSlotCount, std::string());
    for (std::size_t k = 0; k < std::size(SampleRecord::kSignalSlots); ++k) {
        info.labels[static_cast<std::size_t>(SampleRecord::kSignalSlots[k])] = electrodes[k].label;
    }
    info.labels[SampleRecord::kEventSlot] = electrodes.back().label;
    info.microvoltsPerCount = microvoltsPerCount_;
    info.device = settings_.source == SignalSource::Playback ? "playback of " + DeviceName() : "amplifier " + DeviceName();
    info.program = "Vostrel";
    info.version = EEG_WORKSTATION_VERSION;
    return info;
}

// What the thread has published since the last time.
void AcquisitionEngine::WritePublished() {
    if (const auto first = recordingClock_.FirstRecordTime()) sidecar_.SetStart(WallTimeOf(*first));
    recordingClock_.TakeOnsets([this](const RecordingClock::Onset& onset) {
        sidecar_.AddEvent(SidecarEvent{recordingClock_.SecondsOf(onset.record), 0.0, std::to_string(onset.code),
                                       MarkerSource::Amplifier});
    });
    sidecar_.SetFramesLost(LostFramesNow() - std::min(LostFramesNow(), lostAtRecordingStart_));
}

void AcquisitionEngine::ServiceRecording() {
    if (!recordingUnfinished_) return;
    if (sidecar_.IsOpen()) WritePublished();
    if (!recording_) FinishSidecar();  // a failed write ended the recording
}

bool AcquisitionEngine::AddMarker(const std::string& value, MarkerSource source) {
    if (!recording_ || !sidecar_.IsOpen()) return false;
    const double onset = recordingClock_.OnsetNow();
    ServiceRecording();  // the amplifier's earlier events first
    return sidecar_.AddEvent(SidecarEvent{onset, 0.0, value, source});
}

std::optional<RecordingSummary> AcquisitionEngine::TakeRecordingSummary() { return std::exchange(summary_, std::nullopt); }

// Once the thread no longer appends: the sidecar's last word, and the summary.
void AcquisitionEngine::FinishSidecar() {
    if (!recordingUnfinished_) return;
    recordingUnfinished_ = false;
    if (sidecar_.IsOpen()) WritePublished();
    sidecar_.Close();
    const std::int64_t records = recordingClock_.Records();
    summary_ = RecordingSummary{recordingPath_, records, recordingClock_.SecondsOf(records),
                                LostFramesNow() - std::min(LostFramesNow(), lostAtRecordingStart_)};
}

// The file is closed before the flag clears: once the UI thread sees
// recording 0 it may open the next recording on the same file object.
void AcquisitionEngine::EndRecording() {
    recordingFile_.Close();
    recording_ = false;
}

// [acq] A failed write ends the recording at once; acquisition goes on.
void AcquisitionEngine::AppendToRecording(std::span<const SampleRecord> records) {
    if (recordingFile_.Append(records)) {
        recordingClock_.PacketRecorded(records);
        return;
    }
    NoteRecordingFailure();
    // The pen first, so it cannot turn blue over a recording begun right after.
    if (ports_.wave) ports_.wave->SetRecordingPen(false);
    EndRecording();
    ShowMessage(kDataWriteFailed);
}

// [acq] Once each time the device goes away; the box does not hold the thread.
void AcquisitionEngine::TellOfDisconnection(std::uint64_t& seen) {
    const std::uint64_t disconnections = device_->Health().disconnections;
    if (disconnections <= seen) return;
    seen = disconnections;
    ShowMessage(kAmplifierDisconnected);
}

void AcquisitionEngine::AcquisitionThread(PacketPipeline& pipeline, std::uint64_t disconnections) {
    pthread_setname_np(pthread_self(), "acquisition");  // tells it apart in top and /proc
    PacketStopwatch stopwatch(PacketStopwatch::EnabledByEnvironment());

    while (runFlag_) {
        int channel = 0;
        if (device_->ReadPacketWithChannel(pipeline.Packet(), channel) == 0) {
            TellOfDisconnection(disconnections);
            continue;
        }
        stopwatch.Begin();
        const Clock::time_point readAt = Clock::now();
        lastPacketAt_ = readAt.time_since_epoch().count();
        ++packets_;

        // One mode for the whole packet, though the UI thread may switch meanwhile.
        const AcquisitionMode packetMode = mode_;
        const std::span<const SampleRecord> records = pipeline.BuildRecords();
        stopwatch.Lap(PacketStopwatch::kBuild);
        if (recording_) {
            std::lock_guard lock(appendMutex_);
            if (recording_) AppendToRecording(records);
        }
        stopwatch.Lap(PacketStopwatch::kAppend);
        // The stream carries EEG only: in impedance mode the amplifier sends
        // excitation signals, on which a client must not decide. The file
        // keeps every frame.
        if (packetMode == AcquisitionMode::Waveform && ports_.stream && ports_.stream->ClientConnected())
            ports_.stream->SendPacket(records);
        stopwatch.Lap(PacketStopwatch::kSend);

        if (packetMode == AcquisitionMode::Waveform) {
            const std::span<const double> rows = pipeline.ConditionedRows();
            stopwatch.Lap(PacketStopwatch::kCondition);
            if (ports_.wave) ports_.wave->AddPacket(rows, readAt);
        } else if (const std::span<const int> rows = pipeline.MeasureImpedance(channel); !rows.empty()) {
            stopwatch.Lap(PacketStopwatch::kCondition);
            if (ports_.impedance) ports_.impedance->ShowImpedances(rows);
        }
        stopwatch.Lap(PacketStopwatch::kDisplay);
        stopwatch.End();
    }
    if (stopwatch.Enabled()) {
        const std::string summary = stopwatch.Summary();
        std::fwrite(summary.data(), 1, summary.size(), stderr);
    }
}
