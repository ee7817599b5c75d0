#include "acquisition/settings/settings_values.h"

SettingsField FirstInvalidSetting(int sampleRate, int packetSize, int channelCount) {
    if (sampleRate < 5 || sampleRate > kMaxSampleRate) return SettingsField::SampleRate;
    if (packetSize <= 0 || packetSize % 4 != 0 || packetSize > sampleRate) return SettingsField::PacketSize;
    if (channelCount < 2 || channelCount > 256) return SettingsField::ChannelCount;
    return SettingsField::None;
}

double CurrentScale(const AcquisitionEngine& engine) {
    // An engine that never initialised still holds 0, which would flatten every trace.
    return engine.Settings().scale != 0.0 ? engine.Settings().scale : eol::kDefaultScale;
}

bool PlaybackSettings(const std::string& path, AcquisitionSettings& settings, std::string& error) {
    EolHeader header;
    std::string cause;
    if (!ReadPlaybackHeader(path, header, cause)) {
        error = "cannot read the header of " + path + ": " + cause;
        return false;
    }
    if (FirstInvalidSetting(header.sampleRate, header.packetSize, header.channelCount) != SettingsField::None) {
        error = "the header of " + path + " holds settings that cannot be played";
        return false;
    }
    settings.source = SignalSource::Playback;
    settings.channelCount = header.channelCount;
    settings.sampleRate = header.sampleRate;
    settings.packetSize = header.packetSize;
    settings.scale = header.scale;
    settings.simulatedDataPath = path;
    settings.electrodeFilePath.clear();
    return true;
}
