#include "acquisition/engine/acquisition_engine.h"

#include <pthread.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>

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
    recordingFile.Close();
}

void AcquisitionEngine::ShowMessage(const std::string& text) {
    if (ports_.host) ports_.host->ShowMessage(text);
}

// The displays show rows of the montage, each under its own electrode; the
// device, the recording and the stream keep the packet's own layout.
void AcquisitionEngine::SetUpMontage() {
    montageColumns = MontageColumns(channelCount);
    channelRecords.assign(montageColumns.size(), ChannelRecord{});
    channelEnabled.assign(montageColumns.size(), 1);
    const std::string& path = electrodeFilePath.empty() ? defaultElectrodeFilePath_ : electrodeFilePath;
    std::string error;
    if (ReadElectrodeLocations(channelRecords, path, &error) == 0 && !error.empty()) ShowMessage(error);
    if (const std::string warning = ElectrodeLabelWarning(path); !warning.empty()) {
        std::cerr << "vostrel: warning: " << warning << std::endl;
    }
}

bool AcquisitionEngine::OpenSelectedDevice() {
    if (amplifierType == 0) {
        const std::string path = simulatedDataPath.empty() ? kFixedPlaybackPath : simulatedDataPath;
        if (!playback_.OpenFile(packetSize, channelCount, sampleRate, path)) {
            SetDeviceFailure(playback_.OpenFailure());
            ShowMessage(WithDetail(kDataFileOpenFailed, playback_.OpenFailure()));
            return false;
        }
        device = &playback_;
        UseRecordingLabels();
    } else if (amplifierType == 1) {
        if (!amplifier_.OpenDevice(packetSize, channelCount, sampleRate)) {
            SetDeviceFailure(amplifier_.LastFailure());
            ShowMessage(WithDetail(kAmplifierOpenFailed, amplifier_.LastFailure()));
            return false;
        }
        device = &amplifier_;
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
    for (std::size_t row = 0; !labels.empty() && row < signalRows && row < channelRecords.size(); ++row) {
        char (&label)[ChannelRecord::kLabelSize] = channelRecords[row].label;
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
    std::string text = recordingPath_ + " (" + recordingFile.LastError() + ")";
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
    if (amplifierType == 0) return simulatedDataPath.empty() ? kFixedPlaybackPath : simulatedDataPath;
    return amplifier_.Name();
}

bool AcquisitionEngine::DeviceWentAway() const {
    const LinkState state = amplifier_.Health().state;
    return amplifierType == 1 && (state == LinkState::Disconnected || state == LinkState::NoDevice);
}

EngineHealth AcquisitionEngine::PollHealth() {
    const DeviceHealth device = this->device ? this->device->Health() : DeviceHealth{};
    EngineHealth health{device.state, false, device.lostFrames, device.repeatedFrames, device.framesProvenAlone};
    if (running == 1 && device.state != LinkState::Disconnected) {
        const auto since = Clock::now() - Clock::time_point(Clock::duration(lastPacketAt_.load()));
        health.noData = since >= kNoDataAfter;
        if (health.noData && !noDataSaid_) PrintLine(kNoDataLine);
        noDataSaid_ = health.noData;
    }
    return health;
}

void AcquisitionEngine::SetUpDisplays() {
    if (ports_.wave) {
        ports_.wave->SetUp(packetSize, static_cast<int>(montageColumns.size()), sampleRate, secondsPerScreen,
                           channelRecords);
    }
    if (ports_.impedance) ports_.impedance->SetUp(static_cast<int>(montageColumns.size()), channelRecords);
    if (ports_.wave) ports_.wave->SetChannelFlags(channelEnabled);
    if (ports_.impedance) ports_.impedance->SetChannelFlags(channelEnabled);
    if (ports_.wave) ports_.wave->ResetTimeLabels();
}

bool AcquisitionEngine::InitialiseAcquisition() {
    if (initialised == 1) return true;
    if (!settingsConfirmed_) {
        const AcquisitionSettings defaults;
        scale = defaults.scale;
        amplifierType = defaults.amplifierType;
        packetSize = defaults.packetSize;
        channelCount = defaults.channelCount;
        sampleRate = defaults.sampleRate;
        electrodeFilePath = defaultElectrodeFilePath_;
    }
    SetUpMontage();
    if (!OpenSelectedDevice()) return false;
    impedances.assign(static_cast<std::size_t>(std::max(0, channelCount)), kDefaultImpedance);
    canceller.BuildCanceller(packetSize, channelCount, sampleRate);
    SetUpDisplays();
    initialised = 1;
    return true;
}

void AcquisitionEngine::ApplySettings(const AcquisitionSettings& settings) {
    if (ThreadExists()) return;  // the settings command is disabled while running
    amplifierType = settings.amplifierType;
    packetSize = settings.packetSize;
    channelCount = settings.channelCount;
    scale = settings.scale;
    sampleRate = settings.sampleRate;
    simulatedDataPath = settings.simulatedDataPath;
    electrodeFilePath = settings.electrodeFilePath;
    settingsConfirmed_ = true;
    SetUpMontage();
    canceller.BuildCanceller(packetSize, channelCount, sampleRate);
    initialised = 0;
}

AcquisitionSettings AcquisitionEngine::SettingsForNextStart() const {
    if (!settingsConfirmed_ && initialised == 0) {
        AcquisitionSettings defaults;
        defaults.electrodeFilePath = defaultElectrodeFilePath_;
        return defaults;
    }
    return AcquisitionSettings{.amplifierType = amplifierType,
                               .packetSize = packetSize,
                               .channelCount = channelCount,
                               .sampleRate = sampleRate,
                               .scale = scale,
                               .simulatedDataPath = simulatedDataPath,
                               .electrodeFilePath = electrodeFilePath};
}

void AcquisitionEngine::StartWaveform() { Start(0); }
void AcquisitionEngine::StartImpedance() { Start(1); }
void AcquisitionEngine::ToggleImpedance() { Start(MeasuringImpedance() ? 0 : 1); }

void AcquisitionEngine::Start(int newMode) {
    if (ThreadExists()) {
        // Switch the running engine; there is never a second thread.
        mode = newMode;
        amplifier_.SetMode(newMode);
    } else {
        // An amplifier that went away (or never came) is opened afresh.
        if (DeviceWentAway()) initialised = 0;
        if (!InitialiseAcquisition()) return;
        if (!device) return;
        mode = newMode;
        amplifier_.SetMode(newMode);
        device->ResumeReads();
        lastPacketAt_ = Clock::now().time_since_epoch().count();
        noDataSaid_ = false;
        disconnectionsSeen_ = device->Health().disconnections;
        runFlag = 1;
        threadHandle = std::thread(&AcquisitionEngine::AcquisitionThread, this);
        running = 1;
    }
    shownWindow = newMode;
    if (ports_.host) ports_.host->ShowDisplay(shownWindow);
}

void AcquisitionEngine::StopAcquisition() {
    if (!ThreadExists()) return;
    runFlag = 0;
    if (device) device->CancelReads();
    threadHandle.join();
    running = 0;
    EndRecording();
    FinishSidecar();
    if (ports_.wave) ports_.wave->SetRecordingPen(false);
    if (device) {
        device->ResumeReads();
        device->Close();
    }
    if (ports_.host) ports_.host->RepaintView();
}

bool AcquisitionEngine::OpenRecording(const std::string& path, ExistingFile existing) {
    if (recording == 1) return false;
    FinishSidecar();  // of a recording a failed write ended
    recordingPath_ = path;
    if (!recordingFile.Create(path, existing)) {
        // Said on the screen too: otherwise the command seems to do nothing.
        ShowMessage(WithDetail(kDataWriteFailed, NoteRecordingFailure()));
        return false;
    }
    if (!recordingFile.WriteHeader(sampleRate, packetSize, scale)) {
        NoteRecordingFailure();
        recordingFile.Close();
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
    recordingClock_.Reset(sampleRate, packetSize);
    lostAtRecordingStart_ = LostFramesNow();
    recordingUnfinished_ = true;
    // The pen turns black before the thread may append: a first append that
    // fails turns it blue again, and nothing here can undo that afterwards.
    if (ports_.wave) ports_.wave->SetRecordingPen(true);
    recording = 1;
    return true;
}

void AcquisitionEngine::CloseRecording() {
    if (recording == 0) return;
    {
        std::lock_guard lock(appendMutex_);
        EndRecording();
    }
    if (ports_.wave) ports_.wave->SetRecordingPen(false);
    FinishSidecar();
}

std::uint64_t AcquisitionEngine::LostFramesNow() const { return device ? device->Health().lostFrames : 0; }

// The labels by record slot: the electrode file's lines in the order the
// records hold them, whatever the packet layout.
SidecarInfo AcquisitionEngine::DescribeRecording() const {
    SidecarInfo info;
    info.sampleRate = sampleRate;
    info.packetSize = packetSize;
    std::vector<ChannelRecord> electrodes(std::size(SampleRecord::kSignalSlots) + 1);
    ReadElectrodeLocations(electrodes, electrodeFilePath.empty() ? defaultElectrodeFilePath_ : electrodeFilePath);
    info.labels.assign(SampleRecord::kSlotCount, std::string());
    for (std::size_t k = 0; k < std::size(SampleRecord::kSignalSlots); ++k) {
        info.labels[static_cast<std::size_t>(SampleRecord::kSignalSlots[k])] = electrodes[k].label;
    }
    info.labels[SampleRecord::kEventSlot] = electrodes.back().label;
    info.microvoltsPerCount = microvoltsPerCount;
    info.device = amplifierType == 0 ? "playback of " + DeviceName() : "amplifier " + DeviceName();
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
    if (recording == 0) FinishSidecar();  // a failed write ended the recording
}

bool AcquisitionEngine::AddMarker(const std::string& value, MarkerSource source) {
    if (recording == 0 || !sidecar_.IsOpen()) return false;
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
    recordingFile.Close();
    recording = 0;
}

// [acq] A failed write ends the recording at once; acquisition goes on.
void AcquisitionEngine::AppendToRecording(std::span<const SampleRecord> records) {
    if (recordingFile.Append(records)) {
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
void AcquisitionEngine::TellOfDisconnection() {
    const std::uint64_t disconnections = device->Health().disconnections;
    if (disconnections <= disconnectionsSeen_) return;
    disconnectionsSeen_ = disconnections;
    ShowMessage(kAmplifierDisconnected);
}

void AcquisitionEngine::AcquisitionThread() {
    pthread_setname_np(pthread_self(), "acquisition");  // tells it apart in top and /proc
    const int P = packetSize;
    const int C = channelCount;
    const auto values = static_cast<std::size_t>(std::max(0, P)) * static_cast<std::size_t>(std::max(0, C));
    std::vector<std::int32_t> packet(values, 0);
    std::vector<double> conditioned(values, 0.0);
    std::vector<SampleRecord> records(static_cast<std::size_t>(std::max(0, P)));
    const std::span<const int> columns = montageColumns;
    std::vector<double> rows(static_cast<std::size_t>(std::max(0, P)) * columns.size(), 0.0);
    std::vector<int> rowImpedances(columns.size(), kDefaultImpedance);
    PacketStopwatch stopwatch(PacketStopwatch::EnabledByEnvironment());

    while (runFlag == 1) {
        aliveFlag = 1;
        int channel = 0;
        if (device->ReadPacketWithChannel(packet, channel) == 0) {
            TellOfDisconnection();
            continue;
        }
        stopwatch.Begin();
        const Clock::time_point readAt = Clock::now();
        lastPacketAt_ = readAt.time_since_epoch().count();
        ++packets_;

        // One mode for the whole packet, though the UI thread may switch meanwhile.
        const int packetMode = mode;
        const int built = BuildRecords(packet, P, C, records);
        const std::span<const SampleRecord> built_records(records.data(), static_cast<std::size_t>(built));
        stopwatch.Lap(PacketStopwatch::kBuild);
        if (recording == 1) {
            std::lock_guard lock(appendMutex_);
            if (recording == 1) AppendToRecording(built_records);
        }
        stopwatch.Lap(PacketStopwatch::kAppend);
        // The stream carries EEG only: in impedance mode the amplifier sends
        // excitation signals, on which a client must not decide. The file
        // keeps every frame.
        if (packetMode == 0 && ports_.stream && ports_.stream->ClientConnected())
            ports_.stream->SendPacket(built_records);
        stopwatch.Lap(PacketStopwatch::kSend);

        if (packetMode == 0) {
            canceller.CancelPowerLine(packet, conditioned);
            ScaleSignalChannels(conditioned, P, C, scale);
            GatherRows<double>(conditioned, C, columns, rows);
            stopwatch.Lap(PacketStopwatch::kCondition);
            if (ports_.wave) ports_.wave->AddPacket(rows, readAt);
        } else if (packetMode == 1 && channel >= 0 && channel < C &&
                   static_cast<std::size_t>(channel) < impedances.size()) {
            const ImpedanceEstimate estimate = EstimateImpedance(packet, P, C, channel);
            impedances[static_cast<std::size_t>(channel)] = estimate.stored;
            WriteImpedanceDiagnostic(std::cout, channel, estimate);
            GatherRows<int>(impedances, C, columns, rowImpedances);
            stopwatch.Lap(PacketStopwatch::kCondition);
            if (ports_.impedance) ports_.impedance->ShowImpedances(rowImpedances, impedanceMin, impedanceMax);
        }
        stopwatch.Lap(PacketStopwatch::kDisplay);
        stopwatch.End();
    }
    aliveFlag = 0;
    if (stopwatch.Enabled()) {
        const std::string summary = stopwatch.Summary();
        std::fwrite(summary.data(), 1, summary.size(), stderr);
    }
}
