// The window's field exchange: its fields read into the members, each
// refused with a message when it cannot be used, and the members shown.

#include <algorithm>
#include <cmath>

#include <QComboBox>
#include <QLineEdit>

#include "pallock_dlg.h"

namespace {

QString badNumberMessage() { return CPallockDlg::tr("请输入一个数字。"); }
QString badIntegerMessage() { return CPallockDlg::tr("请输入一个整数。"); }
QString badDecisionMessage() { return CPallockDlg::tr("判决参数无效"); }
QString badLeadsMessage() { return CPallockDlg::tr("请输入以逗号分隔的导联号，每个在 1 和 21 之间，不可重复。"); }

QString IntegerRangeMessage(int low, int high) {
    return CPallockDlg::tr("请输入一个在 %1 和 %2 之间的整数。").arg(low).arg(high);
}

// Doubles in their shortest general form: 10, 12.5, 0.
QString FormatDouble(double value) { return QString::number(value, 'g', 15); }

}  // namespace

QString CPallockDlg::FieldText(int id) const { return static_cast<QLineEdit*>(Control(id))->text(); }

void CPallockDlg::Refuse(int id, const QString& message) {
    ShowMessage(message);
    if (auto* control = Control(id)) {
        control->setFocus();
        if (auto* edit = qobject_cast<QLineEdit*>(control)) edit->selectAll();
    }
}

bool CPallockDlg::TakeText(int id, QString& member) {
    member = FieldText(id);
    return true;
}

bool CPallockDlg::TakeInt(int id, int& member, int low, int high) {
    bool ok = false;
    const int value = FieldText(id).trimmed().toInt(&ok);
    if (!ok) {
        Refuse(id, badIntegerMessage());
        return false;
    }
    if (value < low || value > high) {
        Refuse(id, IntegerRangeMessage(low, high));
        return false;
    }
    member = value;
    return true;
}

bool CPallockDlg::TakeDouble(int id, double& member) {
    bool ok = false;
    const double value = FieldText(id).trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(value)) {
        Refuse(id, badNumberMessage());
        return false;
    }
    member = value;
    return true;
}

bool CPallockDlg::TakeLead(int id, int& member) {
    const QString text = FieldText(id).trimmed();
    const auto lead = ParseLeads(text, leadNames);
    if (!lead || lead->size() != 1) {
        // A number out of range is told as before; anything else may be a label.
        bool number = false;
        text.toInt(&number);
        Refuse(id, number ? IntegerRangeMessage(SsvepDetector::firstLead, SsvepDetector::lastLead)
                          : tr("请输入 1 到 21 的导联号或电极名，如 O1。"));
        return false;
    }
    member = lead->front();
    return true;
}

bool CPallockDlg::TakeLeads(int id, std::vector<int>& member) {
    const auto leads = ParseLeads(FieldText(id), leadNames);
    if (!leads) {
        Refuse(id, badLeadsMessage());
        return false;
    }
    member = *leads;
    return true;
}

bool CPallockDlg::TakeMethod() {
    fields.method = allSsvepMethods[static_cast<std::size_t>(methodBox->currentIndex())];
    return true;
}

bool CPallockDlg::TakeFields() {
    // In the order of the window's exchange; the first refusal ends it.
    const bool taken = TakeText(IDC_AMPLIFIER_ADDRESS, fields.amplifierAddress) &&
                       TakeInt(IDC_AMPLIFIER_PORT, fields.amplifierPort, 1, 65535) &&
                       TakeText(IDC_COMMAND_TEXT, fields.commandText) &&
                       TakeText(IDC_SCORING_ADDRESS, fields.scoringAddress) &&
                       TakeInt(IDC_SCORING_PORT, fields.scoringPort, 1, 65535) &&
                       [this] {
                           for (int i = 0; i < SsvepDetector::stimulusCount; ++i)
                               if (!TakeDouble(frequencyFieldIds[i], fields.stimulusFrequencies[i])) return false;
                           return true;
                       }() &&
                       TakeDouble(IDC_THRESHOLD, fields.threshold) &&
                       TakeLead(IDC_LEAD, fields.lead) &&
                       TakeMethod() && TakeLeads(IDC_LEADS, fields.leads) && TakeDecisionRules();
    // The session works with the members as they now stand.
    session.PutInForce(fields);
    return taken;
}

bool CPallockDlg::TakeDecisionRules() {
    int refused = 0;
    const auto rules = decisionPanel->Take(refused);
    if (!rules) {
        Refuse(refused, badDecisionMessage());
        return false;
    }
    fields.rules = *rules;
    return true;
}

void CPallockDlg::ShowFields() {
    auto show = [this](int id, const QString& text) { static_cast<QLineEdit*>(Control(id))->setText(text); };
    show(IDC_AMPLIFIER_ADDRESS, fields.amplifierAddress);
    show(IDC_AMPLIFIER_PORT, QString::number(fields.amplifierPort));
    show(IDC_COMMAND_TEXT, fields.commandText);
    show(IDC_SCORING_ADDRESS, fields.scoringAddress);
    show(IDC_SCORING_PORT, QString::number(fields.scoringPort));
    for (int i = 0; i < SsvepDetector::stimulusCount; ++i)
        show(frequencyFieldIds[i], FormatDouble(fields.stimulusFrequencies[i]));
    show(IDC_THRESHOLD, FormatDouble(fields.threshold));
    show(IDC_LEAD, FormatLeads({fields.lead}, leadNames));
    methodBox->setCurrentIndex(static_cast<int>(
        std::find(allSsvepMethods.begin(), allSsvepMethods.end(), fields.method) - allSsvepMethods.begin()));
    show(IDC_LEADS, FormatLeads(fields.leads, leadNames));
    decisionPanel->Show(fields.rules);
}

void CPallockDlg::ApplyFields(const PallockFields& values) {
    fields = values;
    session.Start(fields);
    ShowFields();
}
