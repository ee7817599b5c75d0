#pragma once
// The speller at work, without a window: the link to the acquisition
// program's stream and the link to the scoring system (each retried every
// second once a connection it made is lost), the detector that reads the
// stream, and the decisions it sends. The window drives it and says in words
// what it reports; tests drive it the same way without one.
//
// Threads: everything runs on the thread that owns the session, through its
// event loop; signals are emitted on that thread, directly from the call or
// the socket notification that caused them.

#include <array>
#include <chrono>
#include <deque>
#include <memory>
#include <span>
#include <string>

#include <QByteArray>
#include <QByteArrayView>
#include <QObject>
#include <QString>
#include <QTimer>

#include "link_keeper.h"
#include "link_socket.h"
#include "pallock_fields.h"
#include "ssvep_detector.h"
#include "stream_rate_watch.h"
#include "stream_watch.h"

enum class SpellerLink { Amplifier, Scoring };

// What a link or the stream did, for the window to say.
enum class SessionEvent {
    Connected,      // an attempt succeeded
    ConnectFailed,  // the user's attempt failed; a lost link's retries fail quietly
    NoSocket,       // the user's attempt found no socket to be had
    Dropped,        // the far end closed a connection that was made; retries follow every second
    NoData,         // the connected stream brought nothing for a while (amplifier only)
    TooFast,        // the stream comes much faster than its rate; no decision goes out (amplifier only)
};

class SpellerSession : public QObject {
    Q_OBJECT
public:
    // A connect that has no outcome by then counts as failed.
    static constexpr std::chrono::milliseconds connectLimit{3000};
    // How often lost links are retried when due and the stream's silence is checked.
    static constexpr std::chrono::milliseconds linkWatchEvery{250};
    // Commands to the scoring system go out at least this far apart, so that
    // consecutive ones stay apart for it; a later one waits in a queue.
    static constexpr std::chrono::milliseconds commandGap{1};
    static constexpr int commandBytes = 9;

    explicit SpellerSession(QObject* parent = nullptr);
    ~SpellerSession() override;

    // Puts the addresses, threshold, method, leads and decision rules in force.
    // Rules the detector refuses are replaced in fields by those in force.
    void PutInForce(PallockFields& fields);
    // Start-up values: as PutInForce, and the rate and frequencies too. What
    // cannot be used is replaced in fields by what is in force.
    void Start(PallockFields& fields);
    // Retunes to the fields' frequencies; false, and the tuning kept, when they
    // cannot be analysed. The fields then hold the frequencies analysed.
    bool Retune(PallockFields& fields);

    // Whether a press of a link's connect starts an attempt: not while
    // connected or an attempt is under way.
    bool ConnectWouldStart(SpellerLink link) const;
    // The user's connect, to the address in force.
    void Connect(SpellerLink link);
    // The user's disconnect: also ends the retries of a lost link.
    void Disconnect(SpellerLink link);
    bool Connected(SpellerLink link) const { return Of(link).connected; }
    // Connected or trying to be: what a disconnect ends.
    bool Active(SpellerLink link) const { return Of(link).keeper.Active(); }
    // Lost and trying again every second.
    bool Recovering(SpellerLink link) const { return Of(link).keeper.Recovering(); }
    // "HOST:PORT" of the address in force, the host trimmed.
    QString Address(SpellerLink link) const;
    // For a link that is not connected: "HOST:PORT (why)", with the last
    // failure; empty while it is connected.
    QString Failure(SpellerLink link) const;

    // Sends the first 9 bytes of text, padded with zero bytes, while the
    // scoring system is connected; false, and nothing sent, otherwise.
    bool SendCommand(QByteArrayView text);
    // A decision of the detector: sent and told by decisionSent while the
    // scoring system is connected, else dropped silently.
    void SendDecision(const std::string& text);

    SsvepDetector& Detector() { return detector; }
    const SsvepDetector& Detector() const { return detector; }
    // Decisions, abstentions and their time since the amplifier last connected.
    const RunFigures& Figures() const { return figures; }

Q_SIGNALS:
    void linkEvent(SpellerLink link, SessionEvent event);
    void decisionSent(const QString& text);
    // A result line of the detector ("No.2 Value:6.383").
    void resultReady(const QString& line);
    void figuresChanged();

private:
    struct Link {
        std::unique_ptr<LinkSocket> socket;
        bool connected = false;
        LinkKeeper keeper;
        QString host;
        int port = 0;
    };

    Link& Of(SpellerLink link) { return links[static_cast<std::size_t>(link)]; }
    const Link& Of(SpellerLink link) const { return links[static_cast<std::size_t>(link)]; }
    void React(SpellerLink link, const LinkReaction& reaction);
    void StartAttempt(SpellerLink link);
    void NoteLink(SpellerLink link, LinkNote note);
    // The link is down, by a press or by the far end: its stream's silence
    // watch stops, or its unsent commands go.
    void MarkDown(SpellerLink link);
    void WatchLinks();
    void OnConnectFinished(SpellerLink link, LinkSocket::ConnectOutcome outcome);
    void OnAmplifierPacket(std::span<const std::int32_t> packet);
    void OnResult(const SsvepResult& result);
    void QueueForScoring(QByteArray bytes);
    // Sends what the queue holds as the gap allows; waits on a timer for the rest.
    void SendDue();
    void PutMethodAndLeadsInForce(const PallockFields& fields);

    SsvepDetector detector;
    RunFigures figures;
    // No decision goes out while the stream comes much faster than its rate.
    StreamRateWatch rateWatch{SsvepDetector::defaultSampleRate};
    StreamWatch streamWatch;
    std::array<Link, 2> links;
    QTimer linkTimer;
    std::deque<QByteArray> outbox;
    QTimer sendTimer;
    std::chrono::steady_clock::time_point nextSendAt{};
};
