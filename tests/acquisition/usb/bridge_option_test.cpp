#include "acquisition/usb/bridge_option.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "acquisition/usb/emulated_bridge.h"
#include "acquisition/usb/serial_bridge.h"

namespace {
using ::testing::ElementsAre;
using ::testing::HasSubstr;

TEST(BridgeOption, ChoosesTheBackend) {
    std::string error;
    EXPECT_NE(dynamic_cast<SerialBridge*>(MakeBridge("", error).get()), nullptr);
    EXPECT_NE(dynamic_cast<SerialBridge*>(MakeBridge("serial", error).get()), nullptr);
    EXPECT_NE(dynamic_cast<EmulatedBridge*>(MakeBridge("emulator", error).get()), nullptr);
    EXPECT_NE(dynamic_cast<EmulatedBridge*>(MakeBridge("emulator:ssvep=8/9.5,hold=2", error).get()), nullptr);

    auto serial = MakeBridge("serial:/dev/pts/77", error);
    ASSERT_NE(serial, nullptr);
    int count = 0;
    serial->GetNumDevices(count);
    EXPECT_EQ(count, 1);
    std::array<char, 256> product{};
    serial->GetProductString(0, product, 0);
    EXPECT_EQ(std::string(product.data()), "/dev/pts/77");
    EXPECT_EQ(error, "");
}

TEST(BridgeOption, RefusesBadValuesWithAReason) {
    for (const char* bad : {"usb", "serial:", "emulator:ssvep=", "emulator:ssvep=10/abc", "emulator:ssvep=0",
                            "emulator:ssvep=500", "emulator:ssvep=10//12", "emulator:hold=0", "emulator:hold=-1",
                            "emulator:hold=x", "emulator:speed=3", "emulator:hold", "emulator:ssvep=nan",
                            "emulator:hold=inf", "emulator:lose-bytes=3", "emulator:lose-bytes=0/2",
                            "emulator:lose-bytes=2086/2", "emulator:lose-bytes=1.5/2", "emulator:pause=100/0",
                            "emulator:silence=5/5", "emulator:vanish=x/10", "emulator:lose-frames=2/-1",
                            "emulator:pause=444444444444449x/9e2", "emulator:pause=10/1e300",
                            "emulator:noise=51/2", "emulator:noise=2082/2", "emulator:repeat=6/2",
                            "emulator:repeat=0/2", "emulator:insert=10431/2", "emulator:flip=8/2",
                            "emulator:flip=-1/2", "emulator:flip=0.5/2"}) {
        std::string error;
        EXPECT_EQ(MakeBridge(bad, error), nullptr) << bad;
        EXPECT_FALSE(error.empty()) << bad;
    }
    std::string error;
    MakeBridge("emulator:speed=3", error);
    EXPECT_THAT(error, HasSubstr("speed"));
}

TEST(BridgeOption, ParsesTheEmulatorScheduleAndFaults) {
    EmulatorOptions options;
    EmulatorFaults faults;
    std::string error;
    ASSERT_TRUE(ParseEmulatorOptions("ssvep=8/9.25/13,hold=2.5,lose-bytes=3/2,pause=250/0.5,vanish=1.5/10", options,
                                     faults, error))
        << error;
    EXPECT_THAT(options.ssvepFrequencies, ElementsAre(8.0, 9.25, 13.0));
    EXPECT_DOUBLE_EQ(options.holdSeconds, 2.5);
    // Faults count in 40 ms frames.
    EXPECT_EQ(faults.loseBytes.amount, 3);
    EXPECT_EQ(faults.loseBytes.everyFrames, 50);
    EXPECT_EQ(faults.pause.amount, 250);
    EXPECT_EQ(faults.pause.everyFrames, 13);
    EXPECT_EQ(faults.vanish.amount, 38);
    EXPECT_EQ(faults.vanish.everyFrames, 250);
    EXPECT_FALSE(faults.loseFrames.Due(50));
    ASSERT_TRUE(ParseEmulatorOptions("flip=0/1,repeat=2/0.4", options, faults, error)) << error;
    EXPECT_EQ(faults.flip.amount, 1);  // bit 0, stored one up so that it strikes
    EXPECT_EQ(faults.repeat.amount, 2);

    EmulatorOptions defaults;
    EmulatorFaults none;
    ASSERT_TRUE(ParseEmulatorOptions("", defaults, none, error));
    EXPECT_THAT(defaults.ssvepFrequencies, ElementsAre(10.0, 12.0, 11.0, 12.5, 11.5, 10.5));
    EXPECT_FALSE(none.Any());

    EmulatorOptions kept;
    EmulatorFaults keptFaults;
    EXPECT_FALSE(ParseEmulatorOptions("hold=3,pause=10/1,ssvep=x", kept, keptFaults, error));
    EXPECT_DOUBLE_EQ(kept.holdSeconds, EmulatorOptions{}.holdSeconds);  // nothing half-applied
    EXPECT_FALSE(keptFaults.Any());
}

}  // namespace
