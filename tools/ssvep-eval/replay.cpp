#include "replay.h"

#include <algorithm>
#include <limits>

#include "acquisition/recording/eol_file.h"

std::int64_t PlayedRecords(std::int64_t recordCount, int packetSize) {
    if (packetSize <= 0) return 0;
    const std::int64_t packets = recordCount / packetSize;
    if (packets <= 1) return packets * packetSize;
    const bool exact = recordCount % packetSize == 0;
    return (exact ? packets - 1 : packets) * packetSize;
}

bool ReplayRecording(const std::string& path, const ReplaySettings& settings, std::vector<SsvepResult>& results,
                     std::string& error) {
    EolReader reader;
    std::string cause;
    if (!reader.Open(path, cause)) {
        error = "cannot read " + path + ": " + cause;
        return false;
    }
    const EolHeader& header = reader.Header();
    const std::int64_t played = PlayedRecords(reader.RecordCount(), header.packetSize);
    if (header.channelCount != SampleRecord::kSlotCount || played == 0) {
        error = path + " is not an EOL recording that Vostrel plays (21-slot records, one whole packet at least)";
        return false;
    }
    if (settings.fromRecord >= played) {
        error = "--from-record must be below " + std::to_string(played) + ", the records of one playback of " + path;
        return false;
    }

    SsvepDetector detector;
    detector.SetMethod(settings.method);
    if (!detector.SetSampleRate(settings.sampleRate.value_or(header.sampleRate)) ||
        !detector.SetLeads(settings.leads) || !detector.Retune(settings.frequencies)) {
        error = "Pallock would refuse this rate, these leads or these frequencies";
        return false;
    }
    detector.SetThreshold(settings.threshold);
    if (!detector.SetDecisionRules(settings.rules)) {
        error = "Pallock would refuse these decision options";
        return false;
    }
    const bool plain = settings.rules.Plain();

    const std::int64_t windowCount =
        settings.windowCount.value_or(plain ? static_cast<int>((played - settings.fromRecord) / detector.WindowRecords())
                                            : std::numeric_limits<int>::max());
    const std::int64_t passRecords = played - settings.fromRecord;
    std::int64_t fed = 0;
    std::int64_t sinceResult = 0;
    std::vector<SampleRecord> records(SsvepDetector::samplesPerPacket);
    std::vector<std::int32_t> packet(SsvepDetector::valuesPerPacket);
    std::int64_t next = settings.fromRecord;
    results.clear();
    while (static_cast<std::int64_t>(results.size()) < windowCount) {
        if (!plain) {
            // Windows at cues may never come: one pass without a result ends it.
            const std::int64_t packetRecords = SsvepDetector::samplesPerPacket;
            if (!settings.windowCount && fed + packetRecords > passRecords) break;
            if (sinceResult > played + packetRecords) break;
            fed += packetRecords;
            sinceResult += packetRecords;
        }
        for (std::size_t filled = 0; filled < records.size();) {
            if (next == played) next = 0;  // the playback starts again
            const auto wanted = static_cast<std::size_t>(std::min<std::int64_t>(
                static_cast<std::int64_t>(records.size() - filled), played - next));
            if (!reader.Seek(next) || reader.Read(std::span(records).subspan(filled, wanted)) != wanted) {
                error = "cannot read " + path;
                return false;
            }
            filled += wanted;
            next += static_cast<std::int64_t>(wanted);
        }
        for (std::size_t r = 0; r < records.size(); ++r)
            std::copy_n(records[r].slots, SampleRecord::kSlotCount, packet.begin() + static_cast<std::ptrdiff_t>(r) * SampleRecord::kSlotCount);
        for (SsvepResult& result : detector.AddPacketResults(packet)) {
            if (static_cast<std::int64_t>(results.size()) == windowCount) break;
            results.push_back(std::move(result));
            sinceResult = 0;
        }
    }
    return true;
}
