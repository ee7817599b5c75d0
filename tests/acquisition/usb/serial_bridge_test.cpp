#include "acquisition/usb/serial_bridge.h"

#include <fcntl.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <filesystem>
#include <thread>

#include "support/pty.h"
#include "support/temp_dir.h"

namespace {
namespace fs = std::filesystem;
using ::testing::ElementsAre;

void MakeTty(const fs::path& sys, const std::string& name, const fs::path& device, bool withDriver) {
    fs::create_directories(sys / "class" / "tty" / name);
    fs::create_directories(device);
    fs::create_directory_symlink(device, sys / "class" / "tty" / name / "device");
    if (withDriver) {
        fs::create_directories(sys / "bus" / "drivers" / name);
        fs::create_directory_symlink(sys / "bus" / "drivers" / name, device / "driver");
    }
}

TEST(SerialBridge, FindsOnlyUsbSerialPortsThatHaveADriver) {
    TempDir dir;
    const fs::path sys = dir.File("sys");
    const fs::path usb = sys / "devices" / "pci0000:00" / "usb1" / "1-2";
    MakeTty(sys, "ttyUSB0", usb / "1-2:1.0" / "ttyUSB0", true);
    MakeTty(sys, "ttyACM1", sys / "devices" / "pci0000:00" / "usb2" / "2-1" / "2-1:1.0", true);
    MakeTty(sys, "ttyXRUSB3", usb / "1-2:1.1", true);                       // another USB driver
    MakeTty(sys, "ttyS0", sys / "devices" / "platform" / "serial8250", true);  // on the board
    MakeTty(sys, "ttyUSB9", sys / "devices" / "virtual" / "gone", false);       // no driver
    std::ofstream(usb / "product") << "CP2102 USB to UART Bridge Controller\n";

    EXPECT_THAT(SerialBridge::FindUsbSerialPorts(sys / "class" / "tty"),
                ElementsAre("/dev/ttyACM1", "/dev/ttyUSB0", "/dev/ttyXRUSB3"));
    EXPECT_EQ(SerialBridge::ProductOf(sys / "class" / "tty" / "ttyUSB0"), "CP2102 USB to UART Bridge Controller");
    EXPECT_EQ(SerialBridge::ProductOf(sys / "class" / "tty" / "ttyS0"), "");
    EXPECT_TRUE(SerialBridge::FindUsbSerialPorts(dir.File("nowhere")).empty());
}

TEST(SerialBridge, OffersTheGivenDeviceOnlyAndRefusesWhatIsNotATty) {
    Pty pty;
    SerialBridge bridge(pty.slavePath);
    int count = -1;
    EXPECT_EQ(bridge.GetNumDevices(count), UsbBridge::kSuccess);
    EXPECT_EQ(count, 1);
    std::array<char, UsbBridge::kProductStringBytes> product{};
    EXPECT_EQ(bridge.GetProductString(0, product, 0), UsbBridge::kSuccess);
    EXPECT_EQ(std::string(product.data()), pty.slavePath);
    EXPECT_EQ(bridge.GetProductString(1, product, 0), UsbBridge::kDeviceNotFound);
    UsbBridge::Handle handle = -1;
    EXPECT_EQ(bridge.Open(1, handle), UsbBridge::kDeviceNotFound);

    // Each refusal names the device and says why, for the user's message.
    struct Refused {
        const char* path;
        const char* why;
    };
    for (const Refused& r : {Refused{"/dev/null", "Inappropriate ioctl for device"},
                             Refused{"/dev/no-such-amplifier", "No such file or directory"}}) {
        SerialBridge refusing(r.path);
        EXPECT_EQ(refusing.Open(0, handle), UsbBridge::kDeviceNotFound) << r.path;
        EXPECT_EQ(refusing.DeviceName(), r.path);
        EXPECT_EQ(refusing.LastError(), r.why);
    }
    EXPECT_EQ(bridge.Open(0, handle), UsbBridge::kSuccess);
    EXPECT_EQ(bridge.LastError(), "");
}

TEST(SerialBridge, SetsRaw921600AndKeepsTimeoutsForTheWholeBridge) {
    Pty pty;
    SerialBridge bridge(pty.slavePath);
    UsbBridge::Handle handle = -1;
    ASSERT_EQ(bridge.Open(0, handle), UsbBridge::kSuccess);
    EXPECT_EQ(bridge.SetBaudRate(handle, 921600), UsbBridge::kSuccess);
    EXPECT_EQ(bridge.SetBaudRate(handle, 12345), UsbBridge::kInvalidBaudRate);
    EXPECT_EQ(bridge.SetBaudRate(handle + 1, 921600), UsbBridge::kInvalidHandle);

    UniqueFd probe(::open(pty.slavePath.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC));
    termios tio{};
    ASSERT_EQ(tcgetattr(probe.Get(), &tio), 0);
    EXPECT_EQ(cfgetospeed(&tio), B921600);
    EXPECT_EQ(tio.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(tio.c_cflag & (PARENB | CSTOPB), 0u);
    EXPECT_EQ(tio.c_lflag & (ICANON | ECHO), 0u);

    EXPECT_EQ(bridge.SetTimeouts(25, 40), UsbBridge::kSuccess);
    int r = 0, w = 0;
    EXPECT_EQ(bridge.GetTimeouts(r, w), UsbBridge::kSuccess);
    EXPECT_EQ(r, 25);
    EXPECT_EQ(w, 40);
    EXPECT_EQ(bridge.SetTimeouts(-1, 0), UsbBridge::kInvalidParameter);
}

TEST(SerialBridge, ReadsGatherTheWholeLengthOrTimeOut) {
    Pty pty;
    SerialBridge bridge(pty.slavePath);
    UsbBridge::Handle handle = -1;
    ASSERT_EQ(bridge.Open(0, handle), UsbBridge::kSuccess);
    ASSERT_EQ(bridge.SetTimeouts(5000, 1000), UsbBridge::kSuccess);

    std::vector<std::uint8_t> sent(2086);
    for (std::size_t i = 0; i < sent.size(); ++i) sent[i] = static_cast<std::uint8_t>(i * 7);
    std::thread sender([&] {
        // In pieces, as a USB adapter delivers them.
        for (std::size_t at = 0; at < sent.size(); at += 500) {
            pty.Send(std::span(sent).subspan(at, std::min<std::size_t>(500, sent.size() - at)));
        }
    });
    std::vector<std::uint8_t> got(2086);
    int received = 0;
    EXPECT_EQ(bridge.Read(handle, got, received), UsbBridge::kSuccess);
    sender.join();
    EXPECT_EQ(received, 2086);
    EXPECT_EQ(got, sent);

    ASSERT_EQ(bridge.SetTimeouts(30, 1000), UsbBridge::kSuccess);
    pty.Send(std::vector<std::uint8_t>{1, 2, 3});
    std::array<std::uint8_t, 5> reply{};
    EXPECT_EQ(bridge.Read(handle, reply, received), UsbBridge::kTimeout);
    EXPECT_EQ(received, 3);
    EXPECT_THAT(std::span(reply).first(3), ElementsAre(1, 2, 3));

    const std::array<std::uint8_t, 7> command{0xF0, 0x0F, 0x01, 0x00, 0x37, 0x58, 0x58};
    int written = 0;
    EXPECT_EQ(bridge.Write(handle, command, written), UsbBridge::kSuccess);
    EXPECT_EQ(written, 7);
    std::array<std::uint8_t, 7> echoed{};
    ASSERT_EQ(::read(pty.master.Get(), echoed.data(), echoed.size()), 7);
    EXPECT_EQ(echoed, command);
}

TEST(SerialBridge, CancelWakesAWaitingReadUntilResumed) {
    Pty pty;
    SerialBridge bridge(pty.slavePath);
    UsbBridge::Handle handle = -1;
    ASSERT_EQ(bridge.Open(0, handle), UsbBridge::kSuccess);
    ASSERT_EQ(bridge.SetTimeouts(60000, 1000), UsbBridge::kSuccess);  // a read that would outlast the test

    UsbBridge::Status status = UsbBridge::kSuccess;
    std::thread reader([&] {
        std::array<std::uint8_t, 2086> frame{};
        int received = 0;
        status = bridge.Read(handle, frame, received);
    });
    bridge.CancelReads();
    reader.join();
    EXPECT_EQ(status, UsbBridge::kCancelled);

    std::array<std::uint8_t, 1> byte{};
    int received = 0;
    pty.Send(std::vector<std::uint8_t>{9});
    EXPECT_EQ(bridge.Read(handle, byte, received), UsbBridge::kCancelled);
    bridge.ResumeReads();
    EXPECT_EQ(bridge.Read(handle, byte, received), UsbBridge::kSuccess);
    EXPECT_EQ(byte[0], 9);
}

TEST(SerialBridge, AVanishedDeviceIsAnError) {
    auto pty = std::make_unique<Pty>();
    SerialBridge bridge(pty->slavePath);
    UsbBridge::Handle handle = -1;
    ASSERT_EQ(bridge.Open(0, handle), UsbBridge::kSuccess);
    ASSERT_EQ(bridge.SetTimeouts(60000, 1000), UsbBridge::kSuccess);
    pty.reset();  // the adapter is pulled out
    std::array<std::uint8_t, 8> bytes{};
    int received = 0;
    EXPECT_EQ(bridge.Read(handle, bytes, received), UsbBridge::kReadError);
}

}  // namespace
