#include "speller_session.h"

#include <algorithm>

namespace {

LinkKeeper::Clock::time_point Now() { return LinkKeeper::Clock::now(); }

}  // namespace

SpellerSession::SpellerSession(QObject* parent) : QObject(parent) {
    linkTimer.setInterval(linkWatchEvery);
    connect(&linkTimer, &QTimer::timeout, this, &SpellerSession::WatchLinks);
    linkTimer.start();
    sendTimer.setSingleShot(true);
    sendTimer.setTimerType(Qt::PreciseTimer);
    connect(&sendTimer, &QTimer::timeout, this, &SpellerSession::SendDue);
}

SpellerSession::~SpellerSession() {
    // Closing is ours: the sockets go without a word to whoever listens.
    for (Link& link : links) link.socket.reset();
}

// ---- Values in force --------------------------------------------------------

void SpellerSession::PutMethodAndLeadsInForce(const PallockFields& fields) {
    // The leads the detector analyses: the lead field's for fft, else the leads field's.
    detector.SetMethod(fields.method);
    if (fields.method == SsvepMethod::Fft)
        detector.SetLead(fields.lead);
    else
        detector.SetLeads(fields.leads);
}

void SpellerSession::PutInForce(PallockFields& fields) {
    Of(SpellerLink::Amplifier).host = fields.amplifierAddress;
    Of(SpellerLink::Amplifier).port = fields.amplifierPort;
    Of(SpellerLink::Scoring).host = fields.scoringAddress;
    Of(SpellerLink::Scoring).port = fields.scoringPort;
    detector.SetThreshold(fields.threshold);
    PutMethodAndLeadsInForce(fields);
    // Rules other than those in force start a new run of the detector.
    if (fields.rules != detector.Rules() && !detector.SetDecisionRules(fields.rules)) fields.rules = detector.Rules();
}

void SpellerSession::Start(PallockFields& fields) {
    if (!detector.SetSampleRate(fields.sampleRate)) fields.sampleRate = detector.SampleRate();
    rateWatch.SetRate(detector.SampleRate());
    if (!SsvepDetector::ValidLeads(std::span<const int>(&fields.lead, 1))) fields.lead = detector.Lead();
    if (!SsvepDetector::ValidLeads(fields.leads)) fields.leads = {fields.lead};
    PutInForce(fields);
    Retune(fields);
}

bool SpellerSession::Retune(PallockFields& fields) {
    const bool retuned = detector.Retune(fields.stimulusFrequencies);
    fields.stimulusFrequencies = detector.AnalysedFrequencies();
    return retuned;
}

// ---- Links ------------------------------------------------------------------

bool SpellerSession::ConnectWouldStart(SpellerLink link) const {
    const LinkKeeper::State state = Of(link).keeper.Current();
    // Pressed while lost: tried at once instead of at the next second.
    return state == LinkKeeper::State::Idle || state == LinkKeeper::State::Waiting;
}

void SpellerSession::Connect(SpellerLink link) { React(link, Of(link).keeper.On(LinkEvent::ConnectPressed, Now())); }

void SpellerSession::Disconnect(SpellerLink link) {
    React(link, Of(link).keeper.On(LinkEvent::DisconnectPressed, Now()));
}

void SpellerSession::React(SpellerLink link, const LinkReaction& reaction) {
    Link& l = Of(link);
    if (reaction.disconnect) {
        l.socket.reset();
        MarkDown(link);
    }
    if (reaction.connect) StartAttempt(link);
    NoteLink(link, reaction.note);
}

void SpellerSession::StartAttempt(SpellerLink link) {
    Link& l = Of(link);
    // A fresh socket each time: the old one may still be the sender of the
    // close that brought us here, and is dropped here outside its signal.
    l.socket = std::make_unique<LinkSocket>();
    LinkSocket* socket = l.socket.get();
    connect(socket, &LinkSocket::connectFinished, this,
            [this, link](LinkSocket::ConnectOutcome outcome) { OnConnectFinished(link, outcome); });
    connect(socket, &LinkSocket::farEndClosed, this,
            [this, link] { React(link, Of(link).keeper.On(LinkEvent::Dropped, Now())); });
    if (link == SpellerLink::Amplifier)
        socket->SetPacketHandler([this](std::span<const std::int32_t> packet) { OnAmplifierPacket(packet); });
    socket->ConnectTo(l.host.trimmed(), static_cast<quint16>(l.port), connectLimit);
}

void SpellerSession::NoteLink(SpellerLink link, LinkNote note) {
    Link& l = Of(link);
    const bool toAmplifier = link == SpellerLink::Amplifier;
    switch (note) {
    case LinkNote::None: return;
    case LinkNote::Connected:
        l.connected = true;
        if (toAmplifier) {
            // Whatever came before the link was lost belongs to no window now.
            detector.StartNewWindow();
            streamWatch.Connected(Now());
        }
        Q_EMIT linkEvent(link, SessionEvent::Connected);
        return;
    case LinkNote::Failed: Q_EMIT linkEvent(link, SessionEvent::ConnectFailed); return;
    case LinkNote::Dropped:
        MarkDown(link);
        Q_EMIT linkEvent(link, SessionEvent::Dropped);
        return;
    }
}

void SpellerSession::MarkDown(SpellerLink link) {
    Of(link).connected = false;
    if (link == SpellerLink::Amplifier) streamWatch.Disconnected();
    else outbox.clear();
}

void SpellerSession::WatchLinks() {
    const auto now = Now();
    for (SpellerLink link : {SpellerLink::Amplifier, SpellerLink::Scoring})
        React(link, Of(link).keeper.On(LinkEvent::Tick, now));
    if (Connected(SpellerLink::Amplifier) && streamWatch.SilenceBegins(now))
        Q_EMIT linkEvent(SpellerLink::Amplifier, SessionEvent::NoData);
}

void SpellerSession::OnConnectFinished(SpellerLink link, LinkSocket::ConnectOutcome outcome) {
    const auto now = Now();
    LinkKeeper& keeper = Of(link).keeper;
    switch (outcome) {
    case LinkSocket::ConnectOutcome::Connected:
        if (link == SpellerLink::Amplifier) {
            // A new run: adaptation learns this session afresh, the figures count it alone.
            detector.ResetRun();
            figures = {};
            Q_EMIT figuresChanged();
        }
        React(link, keeper.On(LinkEvent::Connected, now));
        return;
    case LinkSocket::ConnectOutcome::Failed: React(link, keeper.On(LinkEvent::ConnectFailed, now)); return;
    case LinkSocket::ConnectOutcome::NoSocket: {
        LinkReaction reaction = keeper.On(LinkEvent::ConnectFailed, now);
        const bool said = reaction.note == LinkNote::Failed;
        reaction.note = LinkNote::None;
        React(link, reaction);
        if (said) Q_EMIT linkEvent(link, SessionEvent::NoSocket);
        return;
    }
    }
}

QString SpellerSession::Address(SpellerLink link) const {
    return QStringLiteral("%1:%2").arg(Of(link).host.trimmed()).arg(Of(link).port);
}

QString SpellerSession::Failure(SpellerLink link) const {
    const Link& l = Of(link);
    if (l.connected) return {};
    const QString why = l.socket && !l.socket->Failure().isEmpty() ? l.socket->Failure()
                                                                    : QStringLiteral("not connected");
    return QStringLiteral("%1 (%2)").arg(Address(link), why);
}

// ---- Stream and decisions -----------------------------------------------------

void SpellerSession::OnAmplifierPacket(std::span<const std::int32_t> packet) {
    const auto samples = static_cast<std::int64_t>(packet.size() / SsvepDetector::slotsPerRecord);
    if (rateWatch.Add(samples, StreamRateWatch::Clock::now()) == StreamRateWatch::Change::BecameTooFast)
        Q_EMIT linkEvent(SpellerLink::Amplifier, SessionEvent::TooFast);
    if (streamWatch.PacketArrived(Now())) detector.StartNewWindow();
    for (const SsvepResult& result : detector.AddPacketResults(packet)) OnResult(result);
}

void SpellerSession::OnResult(const SsvepResult& result) {
    if (result.decided && rateWatch.Sane()) SendDecision(result.decisionText);
    Q_EMIT resultReady(QString::fromStdString(result.resultLine));
    figures.Add(result);
    Q_EMIT figuresChanged();
}

bool SpellerSession::SendCommand(QByteArrayView text) {
    if (!Connected(SpellerLink::Scoring)) return false;
    QueueForScoring(text.first(std::min<qsizetype>(text.size(), commandBytes)).toByteArray());
    return true;
}

void SpellerSession::SendDecision(const std::string& text) {
    if (!SendCommand(QByteArrayView(text.data(), static_cast<qsizetype>(text.size())))) return;
    Q_EMIT decisionSent(QString::fromStdString(text));
}

void SpellerSession::QueueForScoring(QByteArray bytes) {
    // A shorter command goes out padded with zero bytes.
    bytes.resize(commandBytes, '\0');
    outbox.push_back(std::move(bytes));
    SendDue();
}

void SpellerSession::SendDue() {
    Link& scoring = Of(SpellerLink::Scoring);
    while (!outbox.empty() && scoring.connected && scoring.socket) {
        const auto now = std::chrono::steady_clock::now();
        if (now < nextSendAt) {
            // Waits on the event loop, never on the thread.
            const auto wait = std::chrono::ceil<std::chrono::milliseconds>(nextSendAt - now);
            if (!sendTimer.isActive()) sendTimer.start(std::max(wait, commandGap));
            return;
        }
        scoring.socket->Send(outbox.front());
        outbox.pop_front();
        nextSendAt = now + commandGap;
    }
}
