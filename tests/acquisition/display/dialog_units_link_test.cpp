// The program links the display dialogs together with the settings dialog and
// the About box, which measure dialog units their own way. Built without
// inlining, as a debug build is, the two must still not stand for one another.

#include <gtest/gtest.h>

#include <QFontMetrics>
#include <atomic>

#include "acquisition/display/impedance_range_dialog.h"
#include "acquisition/settings/dialog_units.h"
#include "qt_environment.h"

TEST(DialogUnitsLink, RangeDialogMeasuresWithItsOwnFontBesideTheSettingsUnits) {
    // The settings dialog's units are in the program too.
    const DialogUnits settingsUnits(QFont(QStringLiteral("Arial"), 12));
    EXPECT_GT(settingsUnits.X(4), 0);

    std::atomic<int> low{0}, high{100};
    CImpedanceRangeDialog dialog(low, high);
    const QFontMetrics metrics(dialog.font());
    EXPECT_EQ(dialog.size(), QSize(153 * metrics.averageCharWidth() / 4, 85 * metrics.height() / 8));
}
