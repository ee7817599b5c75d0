#include "decision_panel.h"

#include <cmath>
#include <cstdio>

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QWidget>

#include "common/command_line.h"

namespace {

std::string Trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

std::string Number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.15g", value);
    return text;
}

}  // namespace

DecisionReading ReadDecisionTexts(const DecisionTexts& texts) {
    DecisionRules rules;
    const auto refuse = [](DecisionField field) { return DecisionReading{std::nullopt, field}; };
    if (const std::string cue = Trimmed(texts.cue); !cue.empty()) {
        const auto code = ParseEventCode(cue);
        if (!code) return refuse(DecisionField::Cue);
        rules.cue = *code;
    }
    if (!ReadFiniteNumber(Trimmed(texts.offset), rules.offsetSeconds) || rules.offsetSeconds < 0.0 ||
        rules.offsetSeconds > maxRuleSeconds)
        return refuse(DecisionField::Offset);
    if (const std::string dynamic = Trimmed(texts.dynamic); !dynamic.empty()) {
        rules.dynamic = ParseDynamicRange(dynamic);
        if (!rules.dynamic) return refuse(DecisionField::Dynamic);
    }
    if (const std::string margin = Trimmed(texts.margin); !margin.empty()) {
        double value = 0.0;
        if (!ReadFiniteNumber(margin, value) || value < 0.0) return refuse(DecisionField::Margin);
        rules.margin = value;
    }
    if (const std::string adapt = Trimmed(texts.adapt); !adapt.empty()) {
        if (!ReadInteger(adapt, 0, maxAdaptResults, rules.adaptResults)) return refuse(DecisionField::Adapt);
    }
    rules.abstainAtEnd = texts.abstain;
    return {rules, DecisionField::Cue};
}

DecisionTexts DecisionTextsOf(const DecisionRules& rules) {
    DecisionTexts texts;
    if (rules.cue) texts.cue = FormatEventCode(*rules.cue);
    texts.offset = Number(rules.offsetSeconds);
    if (rules.dynamic) texts.dynamic = FormatDynamicRange(*rules.dynamic);
    if (rules.margin) texts.margin = Number(*rules.margin);
    if (rules.adaptResults > 0) texts.adapt = std::to_string(rules.adaptResults);
    texts.abstain = rules.abstainAtEnd;
    return texts;
}

QString RunFiguresText(const RunFigures& figures) {
    return DecisionPanel::tr("判断 %1 次，弃权 %2 次，平均 %3 秒")
        .arg(figures.decisions)
        .arg(figures.abstentions)
        .arg(figures.MeanDecisionSeconds(), 0, 'f', 2);
}

DecisionPanel::DecisionPanel(QWidget* window, QRect groupPlace, QRect figuresPlace,
                             const std::function<QRect(QRect)>& toPixels, std::map<int, QWidget*>& controls) {
    (new QGroupBox(tr("判决方式"), window))->setGeometry(toPixels(groupPlace));
    const int x = groupPlace.x();
    const int y = groupPlace.y();
    auto label = [&](const QString& text, QRect du) {
        (new QLabel(text, window))->setGeometry(toPixels(du.translated(x, y)));
    };
    auto edit = [&](int id, QRect du, const QString& tip) {
        auto* e = new QLineEdit(window);
        e->setGeometry(toPixels(du.translated(x, y)));
        e->setObjectName(QString::number(id));
        e->setToolTip(tip);
        controls[id] = e;
        return e;
    };
    label(tr("提示码"), {7, 15, 26, 10});
    cue = edit(IDC_CUE, {35, 13, 36, 12}, tr("窗口从此事件码起算，如 0x800B；空则连续分窗"));
    label(tr("延迟"), {76, 15, 18, 10});
    offset = edit(IDC_OFFSET, {96, 13, 22, 12}, tr("提示后多少秒开窗"));
    label(tr("动态窗"), {124, 15, 26, 10});
    dynamic = edit(IDC_DYNAMIC, {152, 13, 56, 12}, tr("最短:步长:最长（秒），如 1:0.25:3；空则固定 2 秒"));
    abstain = new QCheckBox(tr("弃权"), window);
    abstain->setGeometry(toPixels(QRect(214, 13, 50, 12).translated(x, y)));
    abstain->setObjectName(QString::number(IDC_ABSTAIN));
    abstain->setToolTip(tr("动态窗到最长仍不够裕度时不判断"));
    controls[IDC_ABSTAIN] = abstain;
    label(tr("判决裕度"), {7, 31, 34, 10});
    margin = edit(IDC_MARGIN, {43, 29, 28, 12}, tr("(最大-次大)/最大；自适应时为 z 分数之差；空则不设"));
    label(tr("自适应"), {76, 31, 26, 10});
    adapt = edit(IDC_ADAPT, {104, 29, 22, 12}, tr("按各类最近 N 次结果标准化；空或 0 则不用"));

    figures = new QLabel(window);
    figures->setGeometry(toPixels(figuresPlace));
    figures->setObjectName(QString::number(IDC_RUN_FIGURES));
    controls[IDC_RUN_FIGURES] = figures;
    ShowFigures({});
}

std::optional<DecisionRules> DecisionPanel::Take(int& refusedId) const {
    const DecisionTexts texts{cue->text().toStdString(),    offset->text().toStdString(),
                              dynamic->text().toStdString(), margin->text().toStdString(),
                              adapt->text().toStdString(),   abstain->isChecked()};
    const DecisionReading reading = ReadDecisionTexts(texts);
    if (!reading.rules) {
        switch (reading.refused) {
        case DecisionField::Cue: refusedId = IDC_CUE; break;
        case DecisionField::Offset: refusedId = IDC_OFFSET; break;
        case DecisionField::Dynamic: refusedId = IDC_DYNAMIC; break;
        case DecisionField::Margin: refusedId = IDC_MARGIN; break;
        case DecisionField::Adapt: refusedId = IDC_ADAPT; break;
        }
    }
    return reading.rules;
}

void DecisionPanel::Show(const DecisionRules& rules) {
    const DecisionTexts texts = DecisionTextsOf(rules);
    cue->setText(QString::fromStdString(texts.cue));
    offset->setText(QString::fromStdString(texts.offset));
    dynamic->setText(QString::fromStdString(texts.dynamic));
    margin->setText(QString::fromStdString(texts.margin));
    adapt->setText(QString::fromStdString(texts.adapt));
    abstain->setChecked(texts.abstain);
}

void DecisionPanel::ShowFigures(const RunFigures& run) { figures->setText(RunFiguresText(run)); }
