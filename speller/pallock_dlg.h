#pragma once
// The speller client's only window: the settings of its two links, the
// detector's parameters and the two logs. It drives a SpellerSession, which
// holds the links and the detector, and says in words what the session reports.

#include <array>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <QDialog>
#include <QString>

#include "decision_panel.h"
#include "lead_names.h"
#include "pallock_fields.h"
#include "speller_session.h"

class QAction;
class QComboBox;
class QLineEdit;
class QPlainTextEdit;

class CPallockDlg : public QDialog {
    Q_OBJECT
public:
    // Control and command ids of the window.
    enum Id {
        IDM_ABOUTBOX = 16,
        IDC_CONNECT_AMPLIFIER = 1000,
        IDC_STATUS_LOG = 1001,
        IDC_AMPLIFIER_ADDRESS = 1002,
        IDC_AMPLIFIER_PORT = 1003,
        IDC_SEND_COMMAND = 1004,
        IDC_COMMAND_TEXT = 1005,
        IDC_CONNECT_SCORING = 1006,
        IDC_FREQUENCY1 = 1007,
        IDC_SCORING_ADDRESS = 1008,
        IDC_SCORING_PORT = 1009,
        IDC_FREQUENCY2 = 1010,
        IDC_FREQUENCY3 = 1011,
        IDC_FREQUENCY4 = 1012,
        IDC_FREQUENCY5 = 1013,
        IDC_FREQUENCY6 = 1014,
        IDC_THRESHOLD = 1015,
        IDC_SETTINGS = 1016,
        IDC_RESULT_LOG = 1017,
        IDC_LEAD = 1018,
        IDC_METHOD = 1100,
        IDC_LEADS = 1101,
        IDC_METHOD_LABEL = 1102,
        IDC_LEADS_LABEL = 1103,
        // The context menu's disconnects, which also end the retries of a lost link.
        IDM_DISCONNECT_AMPLIFIER = 1120,
        IDM_DISCONNECT_SCORING = 1121,
    };
    static constexpr std::array<int, SsvepDetector::stimulusCount> frequencyFieldIds = {
        IDC_FREQUENCY1, IDC_FREQUENCY2, IDC_FREQUENCY3, IDC_FREQUENCY4, IDC_FREQUENCY5, IDC_FREQUENCY6};

    explicit CPallockDlg(QWidget* parent = nullptr);
    ~CPallockDlg() override;

    // Field exchange. TakeFields stops at the first refused entry (message,
    // focus there, later members unchanged) and returns false.
    bool TakeFields();
    void ShowFields();
    const PallockFields& Fields() const { return fields; }
    // Puts start-up values in place as if typed and set: fields shown, rate,
    // method, leads and threshold in force, frequencies retuned.
    void ApplyFields(const PallockFields& values);

    void appendStatus(const QString& line);
    void appendResult(const QString& line);
    const QString& StatusLog() const { return statusLog; }
    const QString& ResultLog() const { return resultLog; }

    // Runs the command bound to a control or menu id, as if it were used.
    // Returns false for an id without a command.
    bool RunCommand(int id);
    QWidget* Control(int id) const;
    QAction* AboutAction() const { return aboutAction; }
    // The context menu's actions, About last.
    QList<QAction*> ContextActions() const;

    bool AmplifierConnected() const { return session.Connected(SpellerLink::Amplifier); }
    bool ScoringConnected() const { return session.Connected(SpellerLink::Scoring); }
    // Lost and trying again every second.
    bool AmplifierRecovering() const { return session.Recovering(SpellerLink::Amplifier); }
    bool ScoringRecovering() const { return session.Recovering(SpellerLink::Scoring); }
    // For a link that is not connected: "HOST:PORT (why)", naming the address
    // the fields hold and the last failure; empty while it is connected.
    QString AmplifierFailure() const { return session.Failure(SpellerLink::Amplifier); }
    QString ScoringFailure() const { return session.Failure(SpellerLink::Scoring); }
    SsvepDetector& Detector() { return session.Detector(); }
    // Decisions, abstentions and their time since the amplifier last connected.
    const RunFigures& Figures() const { return session.Figures(); }

    // Sends a decision of the detector while the scoring system is connected.
    void SendDecision(const std::string& text) { session.SendDecision(text); }
    // Where message boxes go; tests capture them instead of blocking.
    void SetMessageSink(std::function<void(const QString&)> sink) { messageSink = std::move(sink); }
    // Asks whether the window may close while a link is connected; tests
    // answer instead of a question box.
    void SetCloseQuestion(std::function<bool()> ask) { closeQuestion = std::move(ask); }
    // Also writes every status and result line to standard output.
    void SetEchoToStdout(bool echo) { echoToStdout = echo; }

Q_SIGNALS:
    void statusAppended(const QString& line);
    void resultAppended(const QString& line);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void BuildControls();
    void BindCommands();
    QLineEdit* AddEdit(int id, QRect dialogUnits);
    QRect ToPixels(QRect dialogUnits) const;

    void ConnectLink(SpellerLink link);
    void SayLinkEvent(SpellerLink link, SessionEvent event);
    void SendCommand();
    void ApplySettings();
    void ShowAbout();
    bool MayCloseWhileConnected();
    void ShowMessage(const QString& text);
    void AppendLine(QString& log, QPlainTextEdit* box, const QString& line);

    QString FieldText(int id) const;
    bool TakeText(int id, QString& member);
    bool TakeInt(int id, int& member, int low, int high);
    bool TakeDouble(int id, double& member);
    bool TakeLeads(int id, std::vector<int>& member);
    bool TakeLead(int id, int& member);
    bool TakeMethod();
    bool TakeDecisionRules();
    void Refuse(int id, const QString& message);

    PallockFields fields;
    LeadNames leadNames = LeadNames::Default();
    SpellerSession session;
    std::unique_ptr<DecisionPanel> decisionPanel;
    QAction* disconnectAmplifierAction = nullptr;
    QAction* disconnectScoringAction = nullptr;
    QString statusLog;
    QString resultLog;
    std::map<int, QWidget*> controls;
    std::map<int, std::function<void()>> commands;
    QPlainTextEdit* statusBox = nullptr;
    QPlainTextEdit* resultBox = nullptr;
    QComboBox* methodBox = nullptr;
    QAction* aboutAction = nullptr;
    std::function<void(const QString&)> messageSink;
    std::function<bool()> closeQuestion;
    bool echoToStdout = false;
    int charWidth = 0;
    int charHeight = 0;
};
