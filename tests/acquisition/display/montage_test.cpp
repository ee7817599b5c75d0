// The default montage that the build puts beside the programs.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "acquisition/electrodes/electrode_file.h"
#include "acquisition/engine/acquisition_engine.h"

namespace {

TEST(DefaultMontage, SixteenChannelsAndTheEventBesideTheExecutable) {
    std::vector<ChannelRecord> records(17);
    const std::string path = ExecutableDirectory() + kElectrodeFileName;
    ASSERT_EQ(ReadElectrodeLocations(records, path), 17) << path;
    const std::vector<std::string> labels{"Fp1", "Fp2", "F3", "F4", "C3", "C4", "P3", "P4", "O1",
                                          "O2",  "F7",  "F8", "T3", "T4", "T5", "T6", "Event"};
    for (std::size_t i = 0; i < labels.size(); ++i) {
        EXPECT_EQ(records[i].label, labels[i]);
        EXPECT_EQ(records[i].number, static_cast<int>(i) + 1);
    }
    EXPECT_EQ(records[0].angle, -18);
    EXPECT_EQ(records[0].radius, 0.511f);
    // Front at the top, left on the left; the occipital pair at the bottom.
    EXPECT_LT(records[0].mapX, 0);
    EXPECT_DOUBLE_EQ(records[0].mapY, -0.5);
    EXPECT_NEAR(records[1].mapX, -records[0].mapX, 1e-6);
    EXPECT_DOUBLE_EQ(records[8].mapY, 0.5);
    EXPECT_DOUBLE_EQ(records[12].mapX, -0.5);  // T3
    EXPECT_DOUBLE_EQ(records[13].mapX, 0.5);   // T4

    std::vector<ChannelRecord> asLoc(17);
    ASSERT_EQ(ReadElectrodeLocations(asLoc, ExecutableDirectory() + "kestrom.loc"), 17);
    EXPECT_EQ(std::string(asLoc[16].label), "Event");
}

}  // namespace
