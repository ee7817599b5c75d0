#pragma once
// Pallock's controls for when the detector decides (cue, offset, dynamic
// range, margin, adaptation, abstention) and the running figures of the run
// beside the result log. The window owns one; its widgets belong to the
// window. Used on the window's thread only.

#include <functional>
#include <map>
#include <optional>
#include <string>

#include <QCoreApplication>
#include <QRect>
#include <QString>

#include "ssvep_detector.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QWidget;

// The fields' texts, free of the toolkit so that their reading is tested alone.
struct DecisionTexts {
    std::string cue;      // "" or an event code: no cue when empty
    std::string offset;   // seconds
    std::string dynamic;  // "" or MIN:STEP:MAX
    std::string margin;   // "" or a number from 0
    std::string adapt;    // "" or 0: no adaptation
    bool abstain = false;
};

enum class DecisionField { Cue, Offset, Dynamic, Margin, Adapt };

// The rules the texts ask for, or the first field that cannot be read.
struct DecisionReading {
    std::optional<DecisionRules> rules;
    DecisionField refused = DecisionField::Cue;
};
DecisionReading ReadDecisionTexts(const DecisionTexts& texts);
DecisionTexts DecisionTextsOf(const DecisionRules& rules);

// "判断 3 次，弃权 1 次，平均 1.53 秒", in the interface language.
QString RunFiguresText(const RunFigures& figures);

class DecisionPanel {
    Q_DECLARE_TR_FUNCTIONS(DecisionPanel)

public:
    enum Id {
        IDC_CUE = 1104,
        IDC_OFFSET = 1105,
        IDC_DYNAMIC = 1106,
        IDC_MARGIN = 1107,
        IDC_ADAPT = 1108,
        IDC_ABSTAIN = 1109,
        IDC_RUN_FIGURES = 1110,
    };

    // Builds the group at groupPlace and the figures at figuresPlace, in the
    // window's dialog units; toPixels converts them. Each control is entered
    // in controls under its id.
    DecisionPanel(QWidget* window, QRect groupPlace, QRect figuresPlace, const std::function<QRect(QRect)>& toPixels,
                  std::map<int, QWidget*>& controls);

    // The rules as typed, or nothing with the refused field's id in refusedId.
    std::optional<DecisionRules> Take(int& refusedId) const;
    void Show(const DecisionRules& rules);
    void ShowFigures(const RunFigures& figures);

private:
    QLineEdit* cue = nullptr;
    QLineEdit* offset = nullptr;
    QLineEdit* dynamic = nullptr;
    QLineEdit* margin = nullptr;
    QLineEdit* adapt = nullptr;
    QCheckBox* abstain = nullptr;
    QLabel* figures = nullptr;
};
