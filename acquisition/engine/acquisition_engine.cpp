#include "acquisition/engine/acquisition_engine.h"

#include "acquisition/engine/packet_stopwatch.h"

#include <pthread.h>

#include <cstdio>
#include <filesystem>
#include <iostream>

namespace {
constexpr const char* kAmplifierOpenFailed = "放大器打开失败";
constexpr const char* kDataFileOpenFailed = "数据文件打开失败";
constexpr const char* kDataWriteFailed = "数据写入失败";

// One write per line: the other thread may be printing a line of its own.
void PrintLine(const char* line) {
    const std::string text = std::string(line) + '\n';
    std::cout.write(text.data(), static_cast<std::streamsize>(text.size()));
    std::cout.flush();
}
}  // namespace

std::string ExecutableDirectory() {
    std::error_code error;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) return {};
    std::string dir = exe.parent_path().string();
    if (dir.empty() || dir.back() != '/') dir += '/';
    return dir;
}

AcquisitionEngine::AcquisitionEngine(FilePlaybackSource& playback, ModalAmplifier& amplifier, EnginePorts ports)
    : playback_(playback),
      amplifier_(amplifier),
      ports_(ports),
      defaultElectrodeFilePath_(ExecutableDirectory() + kElectrodeFileName) {}

AcquisitionEngine::~AcquisitionEngine() {
    StopAcquisition();
    recordingFile.Close();
}

void AcquisitionEngine::ShowMessage(const std::string& text) {
    if (ports_.host) ports_.host->ShowMessage(text);
}

void AcquisitionEngine::ReadChannelRecords() {
    channelRecords.assign(static_cast<std::size_t>(std::max(0, channelCount)), ChannelRecord{});
    const std::string& path = electrodeFilePath.empty() ? defaultElectrodeFilePath_ : electrodeFilePath;
    std::string error;
    if (ReadElectrodeLocations(channelRecords, path, &error) == 0 && !error.empty()) ShowMessage(error);
}

bool AcquisitionEngine::OpenSelectedDevice() {
    if (amplifierType == 0) {
        const std::string path = simulatedDataPath.empty() ? kFixedPlaybackPath : simulatedDataPath;
        if (!playback_.OpenFile(packetSize, channelCount, sampleRate, path)) {
            ShowMessage(kDataFileOpenFailed);
            return false;
        }
        device = &playback_;
    } else if (amplifierType == 1) {
        if (!amplifier_.OpenDevice(packetSize, channelCount, sampleRate)) {
            ShowMessage(kAmplifierOpenFailed);
            return false;
        }
        device = &amplifier_;
    }
    return true;
}

void AcquisitionEngine::SetUpDisplays() {
    if (ports_.wave) {
        ports_.wave->SetUp(packetSize, channelCount, sampleRate, secondsPerScreen, channelRecords);
    }
    if (ports_.impedance) ports_.impedance->SetUp(channelCount, channelRecords);
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
    ReadChannelRecords();
    if (!OpenSelectedDevice()) return false;
    const auto count = static_cast<std::size_t>(std::max(0, channelCount));
    channelEnabled.assign(count, 1);
    impedances.assign(count, kDefaultImpedance);
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
    ReadChannelRecords();
    channelEnabled.assign(static_cast<std::size_t>(std::max(0, channelCount)), 1);
    canceller.BuildCanceller(packetSize, channelCount, sampleRate);
    initialised = 0;
}

void AcquisitionEngine::StartWaveform() { Start(0); }
void AcquisitionEngine::StartImpedance() { Start(1); }

void AcquisitionEngine::Start(int newMode) {
    if (ThreadExists()) {
        // Switch the running engine; there is never a second thread.
        mode = newMode;
        amplifier_.SetMode(newMode);
    } else {
        if (!InitialiseAcquisition()) return;
        if (!device) return;
        mode = newMode;
        amplifier_.SetMode(newMode);
        device->ResumeReads();
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
    if (ports_.wave) ports_.wave->SetRecordingPen(false);
    if (device) {
        device->ResumeReads();
        device->Close();
    }
    if (ports_.host) ports_.host->RepaintView();
}

bool AcquisitionEngine::OpenRecording(const std::string& path) {
    if (recording == 1) return false;
    if (!recordingFile.Create(path)) {
        PrintLine("file error");
        return false;
    }
    if (!recordingFile.WriteHeader(sampleRate, packetSize, scale)) {
        recordingFile.Close();
        PrintLine("file error");
        ShowMessage(kDataWriteFailed);
        return false;
    }
    // The pen turns black before the thread may append: a first append that
    // fails turns it blue again, and nothing here can undo that afterwards.
    if (ports_.wave) ports_.wave->SetRecordingPen(true);
    recording = 1;
    return true;
}

// The file is closed before the flag clears: once the UI thread sees
// recording 0 it may open the next recording on the same file object.
void AcquisitionEngine::EndRecording() {
    recordingFile.Close();
    recording = 0;
}

// [acq] A failed write ends the recording at once; acquisition goes on.
void AcquisitionEngine::AppendToRecording(std::span<const SampleRecord> records) {
    if (recordingFile.Append(records)) return;
    // The pen first, so it cannot turn blue over a recording begun right after.
    if (ports_.wave) ports_.wave->SetRecordingPen(false);
    EndRecording();
    PrintLine("file error");
    ShowMessage(kDataWriteFailed);
}

void AcquisitionEngine::AcquisitionThread() {
    pthread_setname_np(pthread_self(), "acquisition");  // tells it apart in top and /proc
    const int P = packetSize;
    const int C = channelCount;
    const auto values = static_cast<std::size_t>(std::max(0, P)) * static_cast<std::size_t>(std::max(0, C));
    std::vector<std::int32_t> packet(values, 0);
    std::vector<double> conditioned(values, 0.0);
    std::vector<SampleRecord> records(static_cast<std::size_t>(std::max(0, P)));
    PacketStopwatch stopwatch(PacketStopwatch::EnabledByEnvironment());

    while (runFlag == 1) {
        aliveFlag = 1;
        int channel = 0;
        if (device->ReadPacketWithChannel(packet, channel) == 0) continue;
        stopwatch.Begin();

        const int built = BuildRecords(packet, P, C, records);
        const std::span<const SampleRecord> built_records(records.data(), static_cast<std::size_t>(built));
        stopwatch.Lap(PacketStopwatch::kBuild);
        if (recording == 1) AppendToRecording(built_records);
        stopwatch.Lap(PacketStopwatch::kAppend);
        if (ports_.stream && ports_.stream->ClientConnected()) ports_.stream->SendPacket(built_records);
        stopwatch.Lap(PacketStopwatch::kSend);

        if (mode == 0) {
            canceller.CancelPowerLine(packet, conditioned);
            ScaleSignalChannels(conditioned, P, C, scale);
            stopwatch.Lap(PacketStopwatch::kCondition);
            if (ports_.wave) ports_.wave->AddPacket(conditioned);
        } else if (mode == 1 && channel >= 0 && channel < C &&
                   static_cast<std::size_t>(channel) < impedances.size()) {
            const ImpedanceEstimate estimate = EstimateImpedance(packet, P, C, channel);
            impedances[static_cast<std::size_t>(channel)] = estimate.stored;
            WriteImpedanceDiagnostic(std::cout, channel, estimate);
            stopwatch.Lap(PacketStopwatch::kCondition);
            if (ports_.impedance) ports_.impedance->ShowImpedances(impedances, impedanceMin, impedanceMax);
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
