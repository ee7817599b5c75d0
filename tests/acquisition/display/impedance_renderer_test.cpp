#include "acquisition/display/impedance_renderer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <QPainter>
#include <vector>

#include "image_probe.h"
#include "qt_environment.h"
#include "support/temp_dir.h"

namespace {

ChannelRecord At(const char* label, double mapX, double mapY) {
    ChannelRecord r;
    std::strncpy(r.label, label, 19);
    r.mapX = mapX;
    r.mapY = mapY;
    return r;
}

TEST(ImpedanceScale, ColourAnchors) {
    const std::vector<std::pair<int, QColor>> anchors{
        {0, QColor(0, 0, 144)},       {7, QColor(0, 0, 255)},   {23, QColor(0, 255, 255)},
        {31, QColor(128, 255, 128)},  {39, QColor(255, 255, 0)}, {55, QColor(255, 0, 0)},
        {63, QColor(128, 0, 0)},      {32, QColor(144, 255, 112)}};
    for (const auto& [index, colour] : anchors)
        EXPECT_EQ(ImpedanceRenderer::ScaleColour(index).rgb(), colour.rgb()) << index;
}

TEST(ImpedanceScale, IndexOfAValue) {
    EXPECT_EQ(ImpedanceRenderer::ColourIndex(0, 0, 100), 0);
    EXPECT_EQ(ImpedanceRenderer::ColourIndex(50, 0, 100), 32);
    EXPECT_EQ(ImpedanceRenderer::ColourIndex(99, 0, 100), 63);
    EXPECT_EQ(ImpedanceRenderer::ColourIndex(100, 0, 100), 63);
    EXPECT_EQ(ImpedanceRenderer::ColourIndex(101, 0, 100), 63);
    EXPECT_EQ(ImpedanceRenderer::ColourIndex(-1, 0, 100), 0);
    EXPECT_EQ(ImpedanceRenderer::ColourIndex(2550000, 0, 100), 63) << "not measured";
    // Bounds the wrong way round (20 and 5): at or above 20 the top colour, below it the bottom one.
    EXPECT_EQ(ImpedanceRenderer::ColourIndex(20, 20, 5), 63);
    EXPECT_EQ(ImpedanceRenderer::ColourIndex(19, 20, 5), 0);
    EXPECT_EQ(ImpedanceRenderer::ColourIndex(7, 7, 7), 63) << "equal bounds divide by nothing";
    EXPECT_EQ(ImpedanceRenderer::ColourIndex(2000000000, -2000000000, 2100000000), 62) << "no overflow";
}

TEST(ImpedanceScale, Ticks) {
    EXPECT_EQ(ImpedanceRenderer::TickValues(0, 100), (std::array<int, 5>{0, 25, 50, 75, 100}));
    EXPECT_EQ(ImpedanceRenderer::TickValues(0, 10), (std::array<int, 5>{0, 2, 5, 7, 10}));
}

TEST(ImpedanceMap, SquareAndLabelOfAnElectrode) {
    ImpedanceRenderer renderer;
    const std::vector<ChannelRecord> records{At("Fp1", -0.5, -0.5), At("Event", 0, 0)};
    renderer.SetUp(2, records);
    renderer.Draw(std::vector<int>{0, 0}, 0, 100, {800, 600});
    const QImage& image = renderer.Image();
    ASSERT_EQ(image.size(), QSize(800, 600));
    EXPECT_EQ(ImpedanceRenderer::SquareCorner(-0.5, -0.5, {800, 600}), QPoint(40, 30));
    for (QPoint outline : {QPoint(40, 30), QPoint(99, 30), QPoint(40, 89), QPoint(99, 89)})
        EXPECT_TRUE(Is(image, outline.x(), outline.y(), Qt::black)) << outline.x() << "," << outline.y();
    EXPECT_TRUE(Is(image, 70, 60, QColor(0, 0, 144)));
    EXPECT_TRUE(Is(image, 100, 60, Qt::white));
    EXPECT_TRUE(Is(image, 70, 90, Qt::white));
    const auto dark = [](QColor c) { return c.value() < 128; };
    EXPECT_GT(CountInRect(image, QRect(40, 10, 60, 20), dark), 10) << "label Fp1(1) above the square";
    // The event channel is never drawn: its square would stand at the map's centre.
    EXPECT_TRUE(Is(image, 340 + 30, 270 + 30, Qt::white));
}

TEST(ImpedanceMap, LabelIsTheRecordsTextAsItStands) {
    // Labels are bytes from the electrode file; a "%" in one is plain text.
    ImpedanceRenderer renderer;
    renderer.SetUp(2, std::vector<ChannelRecord>{At("%1", -0.5, -0.5), At("Event", 0, 0)});
    renderer.Draw(std::vector<int>{0, 0}, 0, 100, {800, 600});

    QImage expected(800, 600, QImage::Format_RGB32);
    expected.fill(Qt::white);
    {
        QPainter painter(&expected);
        painter.setPen(Qt::black);
        painter.drawText(QRect(40, 10, 60, 20), Qt::AlignHCenter | Qt::AlignTop, QStringLiteral("%1(1)"));
    }
    const QRect labelBox(40, 10, 60, 20);
    EXPECT_EQ(renderer.Image().copy(labelBox), expected.copy(labelBox));
}

TEST(ImpedanceMap, ColourBar) {
    ImpedanceRenderer renderer;
    renderer.SetUp(1, std::vector<ChannelRecord>(1));
    renderer.Draw(std::vector<int>{0}, 0, 100, {800, 600});
    const QImage& image = renderer.Image();
    // x 680; index 0 at y 570..573, index 63 at y 318..321.
    EXPECT_TRUE(Is(image, 680, 571, ImpedanceRenderer::ScaleColour(0)));
    EXPECT_TRUE(Is(image, 709, 319, ImpedanceRenderer::ScaleColour(63)));
    EXPECT_TRUE(Is(image, 710, 319, Qt::white));
    const auto dark = [](QColor c) { return c.value() < 128; };
    EXPECT_GT(CountInRect(image, QRect(650, 566, 25, 20), dark), 3) << "tick 0 beside the bottom";
    EXPECT_GT(CountInRect(image, QRect(650, 310, 25, 20), dark), 3) << "tick 100 beside the top";
}

TEST(ImpedanceMap, DefaultMontageShowsSixteenElectrodes) {
    std::vector<ChannelRecord> records(17);
    ASSERT_EQ(ReadElectrodeLocations(records, std::string(KESTROM_LOC)), 17);
    ImpedanceRenderer renderer;
    renderer.SetUp(17, records);
    renderer.SetChannelFlags(std::vector<int>(17, 1));
    std::vector<int> impedances(17);
    for (int i = 0; i < 17; ++i) impedances[static_cast<std::size_t>(i)] = i * 6;  // 0 .. 96: distinct colours
    renderer.Draw(impedances, 0, 100, {800, 600});
    const QImage& image = renderer.Image();
    int squares = 0;
    for (int i = 0; i < 17; ++i) {
        const auto& r = records[static_cast<std::size_t>(i)];
        const QPoint corner = *ImpedanceRenderer::SquareCorner(r.mapX, r.mapY, {800, 600});
        const QColor expected = ImpedanceRenderer::ScaleColour(ImpedanceRenderer::ColourIndex(i * 6, 0, 100));
        // The lower left of each square is covered neither by a later square nor
        // by the colour bar (which cuts into T4's right half) in this montage.
        const bool drawn = Is(image, corner.x() + 10, corner.y() + 50, expected);
        EXPECT_EQ(drawn, i < 16) << r.label << " " << image.pixelColor(corner.x() + 10, corner.y() + 50).name().toStdString()
                                 << " " << expected.name().toStdString();
        squares += drawn;
    }
    EXPECT_EQ(squares, 16);
    EXPECT_FALSE(renderer.Shown(16));
}

TEST(ImpedanceMap, NextPictureFollowsTheSize) {
    ImpedanceRenderer renderer;
    renderer.SetUp(2, std::vector<ChannelRecord>{At("A", 0.5, 0.5), At("E", 0, 0)});
    renderer.Draw(std::vector<int>{50, 0}, 0, 100, {800, 600});
    renderer.Draw(std::vector<int>{50, 0}, 0, 100, {300, 200});
    EXPECT_EQ(renderer.Image().size(), QSize(300, 200));
    // Squares that reach past the picture are cut, not drawn outside it.
    EXPECT_TRUE(Is(renderer.Image(), 290, 190, ImpedanceRenderer::ScaleColour(32)));
}

TEST(ImpedanceMap, ElectrodeWithoutAPlaceIsSkipped) {
    TempDir dir;
    std::vector<ChannelRecord> records(1);
    ASSERT_EQ(ReadElectrodeLocations(records, dir.Write("one.loc", "1 0 .25 Cz\n")), 1);
    records.push_back(ChannelRecord{});
    ImpedanceRenderer renderer;
    renderer.SetUp(2, records);
    renderer.Draw(std::vector<int>{10, 0}, 0, 100, {800, 600});
    EXPECT_FALSE(ImpedanceRenderer::SquareCorner(records[0].mapX, records[0].mapY, {800, 600}));
    const auto black = [](QColor c) { return c.rgb() == QColor(Qt::black).rgb(); };
    EXPECT_EQ(CountInRect(renderer.Image(), QRect(0, 0, 600, 600), black), 0);
    renderer.Draw(std::vector<int>{}, 0, 100, {800, 600});  // fewer values than channels
}

}  // namespace

namespace {

// Hovering names the electrode under the pointer: the one drawn last where
// squares overlap, none between squares, none for hidden ones.
TEST(ImpedanceMap, TheElectrodeUnderAPointAndItsValueInKiloOhms) {
    ImpedanceRenderer renderer;
    // Fp1's square from (40, 30), O1's from (70, 60): they overlap.
    const std::vector<ChannelRecord> records{At("Fp1", -0.5, -0.5), At("O1", -0.45, -0.45), At("Cz", 0.2, 0.2),
                                             At("Event", 0, 0)};
    renderer.SetUp(4, records);
    renderer.SetChannelFlags(std::vector<int>{1, 1, 0, 1});
    const QSize size(800, 600);
    const struct {
        QPoint point;
        std::optional<int> channel;
    } cases[] = {
        {{41, 31}, 0},           // Fp1 alone
        {{99, 89}, 1},           // both: O1 lies above
        {{110, 100}, 1},         // O1 alone
        {{39, 31}, std::nullopt},  // just left of Fp1
        {{340 + 30, 270 + 30}, std::nullopt},  // the event channel's place: never drawn
        {*ImpedanceRenderer::SquareCorner(0.2, 0.2, size) + QPoint(5, 5), std::nullopt},  // Cz is hidden
    };
    for (const auto& c : cases) {
        EXPECT_EQ(renderer.ElectrodeAt(c.point, size), c.channel) << c.point.x() << "," << c.point.y();
    }
    EXPECT_EQ(renderer.LabelOf(1), "O1(2)");
    EXPECT_EQ(renderer.LabelOf(4), "");

    const std::pair<int, QString> values[] = {{0, "0 kΩ"}, {35, "35 kΩ"}, {-3, "-3 kΩ"}, {2550000, "未测"}};
    for (const auto& [value, text] : values) EXPECT_EQ(ImpedanceRenderer::ValueText(value), text);
}

TEST(ImpedanceMap, TheColourBarCarriesItsUnitAboveIt) {
    ImpedanceRenderer renderer;
    renderer.SetUp(1, std::vector<ChannelRecord>(1));
    renderer.Draw(std::vector<int>{0}, 0, 100, {800, 600});
    const QRect box = ImpedanceRenderer::UnitBox({800, 600});
    EXPECT_EQ(box.bottom(), 318 - 1) << "right above index 63";
    EXPECT_LE(box.left(), 680);
    EXPECT_GE(box.right(), 709);
    const auto dark = [](QColor c) { return c.value() < 128; };
    EXPECT_GT(CountInRect(renderer.Image(), box, dark), 5);
}

}  // namespace
