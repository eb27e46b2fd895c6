// The serial-port list over pseudo-terminals reached through numbered names.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "link/device_io.h"
#include "link/serial_ports.h"
#include "tests/fakes/pty_peer.h"
#include "tests/fakes/recording_sinks.h"

namespace {

namespace fs = std::filesystem;

class SerialProbe : public ::testing::Test {
  protected:
    void SetUp() override {
        dir = fs::temp_directory_path() / ("link-ports-" + std::to_string(::getpid()));
        fs::remove_all(dir);
        fs::create_directories(dir);
        ASSERT_TRUE(free9.ok() && free10.ok() && locked.ok() && exclusive.ok());
        fs::create_symlink(free9.slaveName(), dir / "port9");
        fs::create_symlink(free10.slaveName(), dir / "port10");
        fs::create_symlink(locked.slaveName(), dir / "port2");
        fs::create_symlink(exclusive.slaveName(), dir / "port3");
        fs::create_symlink("/dev/null", dir / "port4");  // a character device, not a terminal
        std::ofstream(dir / "port5") << "plain";
        fs::create_directory(dir / "port6");
        holder = ::open(locked.slaveName().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        ASSERT_GE(holder, 0);
        ASSERT_EQ(::flock(holder, LOCK_EX | LOCK_NB), 0);
        ASSERT_EQ(::ioctl(exclusive.slaveFd(), TIOCEXCL), 0);
        config.patterns = {(dir / "port%d").string()};
        config.first = 0;
        config.last = 12;
    }
    void TearDown() override {
        if (holder >= 0) ::close(holder);
        ::ioctl(exclusive.slaveFd(), TIOCNXCL);
        fs::remove_all(dir);
    }
    static int ExclusiveFlag(int fd) {
        int flag = -1;
        ::ioctl(fd, TIOCGEXCL, &flag);
        return flag;
    }

    fs::path dir;
    fakes::PtyPeer free9, free10, locked, exclusive;
    int holder = -1;
    printerlink::SerialProbeConfig config;
};

TEST_F(SerialProbe, ListsOnlyTerminalsNobodyElseHolds) {
    EXPECT_EQ(printerlink::ListFreeSerialPorts(config),
              (std::vector<std::string>{(dir / "port9").string(), (dir / "port10").string()}));
    // The probe gave its own exclusive use back and left the other holder's in place.
    EXPECT_EQ(ExclusiveFlag(free9.slaveFd()), 0);
    EXPECT_EQ(ExclusiveFlag(exclusive.slaveFd()), 1);
    // The sender refuses the held ports too.
    EXPECT_LT(printerlink::OpenSerialExclusive((dir / "port2").string()), 0);
    EXPECT_LT(printerlink::OpenSerialExclusive((dir / "port3").string()), 0);

    ::close(holder);
    holder = -1;
    EXPECT_EQ(printerlink::ListFreeSerialPorts(config).size(), 3u);
}

TEST_F(SerialProbe, ThreadResetsTheListThenAddsTheNamesSorted) {
    fakes::RecordingSerialList list;
    std::thread probe = printerlink::StartComPortProbeThread(list.Sink(), config);
    probe.join();
    // Byte-wise order, as a sorted combo box of names: "port10" before "port9".
    EXPECT_EQ(list.Events(), (std::vector<std::string>{"reset", (dir / "port10").string(),
                                                       (dir / "port9").string()}));
}

TEST(SerialProbeInput, OddPatternsAndNamesAreHarmless) {
    printerlink::SerialProbeConfig config;
    config.patterns = {"", "%s%n%x", "/nonexistent/tty%d%d", "/dev/null"};
    config.first = 0;
    config.last = 3;
    EXPECT_TRUE(printerlink::ListFreeSerialPorts(config).empty());
    config.first = 5;
    config.last = 2;  // empty range
    EXPECT_TRUE(printerlink::ListFreeSerialPorts(config).empty());
    std::thread probe = printerlink::StartComPortProbeThread({}, config);  // no sink at all
    probe.join();
    EXPECT_LT(printerlink::OpenSerialExclusive(""), 0);
    EXPECT_LT(printerlink::OpenSerialExclusive("/dev/null"), 0);
}

TEST(SerialProbeInput, BaudTextIsReadAsADecimalNumber) {
    using printerlink::ParseBaudText;
    EXPECT_EQ(ParseBaudText("9600"), 9600u);
    EXPECT_EQ(ParseBaudText(" \t128000"), 128000u);
    EXPECT_EQ(ParseBaudText("+19200"), 19200u);
    EXPECT_EQ(ParseBaudText("115200 baud"), 115200u);
    EXPECT_EQ(ParseBaudText("abc"), 0u);
    EXPECT_EQ(ParseBaudText(""), 0u);
    EXPECT_EQ(ParseBaudText("-9600"), 0u);
    EXPECT_EQ(ParseBaudText("99999999999999999999"), 0u);
}

}  // namespace
