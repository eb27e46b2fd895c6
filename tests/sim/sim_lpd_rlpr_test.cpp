// Debian's rlpr and rlpq against the simulator's LPD port (label "threaded"). rlpr always connects
// to port 515, so the test runs itself again inside a network namespace of its own, where the
// simulator listens on that namespace's loopback port 515 and nothing outside is reached.
#include <gtest/gtest.h>
#include <net/if.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>

#include "tests/fakes/temp_folder.h"
#include "tests/fakes/wait.h"
#include "tests/sim/sim_rig.h"

namespace simtest {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr const char* kInside = "POS_SIM_LPD_NAMESPACE";

// A new network namespace has its loopback down.
bool LoopbackUp() {
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    if (fd < 0) return false;
    ifreq request{};
    std::strncpy(request.ifr_name, "lo", IFNAMSIZ - 1);
    bool up = ::ioctl(fd, SIOCGIFFLAGS, &request) == 0;
    request.ifr_flags = static_cast<short>(request.ifr_flags | IFF_UP);
    up = up && ::ioctl(fd, SIOCSIFFLAGS, &request) == 0;
    ::close(fd);
    return up;
}

// What a command printed on its standard output, and whether it ended with status 0.
std::pair<std::string, bool> Output(const std::string& command) {
    std::string out;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) return {out, false};
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) out += buffer;
    return {out, ::pclose(pipe) == 0};
}

// Runs `test` again in a network namespace of its own; it fails here when it fails there.
void RunInNamespace(const std::string& test) {
    if (std::system("command -v rlpr >/dev/null && command -v rlpq >/dev/null") != 0)
        FAIL() << "rlpr and rlpq are not installed (scripts/setup.sh installs the rlpr package)";
    if (std::system("unshare --net --map-root-user true 2>/dev/null") != 0)
        GTEST_SKIP() << "no network namespace can be made here (unshare --net --map-root-user)";
    const fs::path self = fs::read_symlink("/proc/self/exe");
    const std::string command = std::string(kInside) +
                                "=1 timeout 45 unshare --net --map-root-user '" + self.string() +
                                "' --gtest_filter=" + test;
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
}

TEST(SimLpdRlpr, PrintsAReceiptUnderItsJobName) {
    if (std::getenv(kInside) == nullptr)
        return RunInNamespace("SimLpdRlpr.PrintsAReceiptUnderItsJobName");
    ASSERT_TRUE(LoopbackUp());
    const fs::path folder = fakes::NewTempFolder("sim-rlpr-");
    sim::SimOptions o;
    o.lpdPort = 515;
    o.tcpPort = std::nullopt;
    o.receipts = folder.string();
    SimRig rig(o);
    ASSERT_EQ(rig.server().LpdPort(1), 515);
    const fs::path job = folder / "sale.bin";
    std::ofstream(job, std::ios::binary) << "\x1b@Receipt 42\nTotal 9.20\n\x1dV\x01";

    // -N: no privileged source port; -l: the data file printed as it is (raw).
    const auto [sent, sentOk] =
        Output("timeout 20 rlpr -N -H 127.0.0.1 -P receipt -J 'Receipt 42' -l '" + job.string() +
               "' 2>&1");
    EXPECT_TRUE(sentOk) << sent;
    ASSERT_TRUE(
        fakes::WaitUntil([&] { return rig.HasLineWith("lpd#1 connection closed"); }, 5000ms));
    for (const char* step : {
             "printer 1 lpd#1 connection from 127.0.0.1:",
             "printer 1 lpd#1 receive job for queue 'receipt'",
             "printer 1 lpd#1 control file cfA",
             "job 'Receipt 42', user '",
             "printer 1 lpd#1 data file dfA",
             "printer 1 lpd#1 text: Receipt 42",
             "printer 1 lpd#1 paper: receipt-0001.png",
             "printer 1 lpd#1 job 'Receipt 42' received: 1 data file, 27 bytes",
         })
        EXPECT_TRUE(rig.HasLineWith(step)) << step;
    std::ifstream data(folder / "receipt-0001.json");
    const nlohmann::json receipt = nlohmann::json::parse(data, nullptr, false);
    EXPECT_EQ(receipt["job"], "Receipt 42");
    EXPECT_EQ(receipt["link"], "lpd");
    EXPECT_EQ(receipt["lines"], (nlohmann::json{"Receipt 42", "Total 9.20"}));

    const auto [queue, queueOk] = Output("timeout 20 rlpq -N -H 127.0.0.1 -P receipt 2>&1");
    EXPECT_TRUE(queueOk);
    EXPECT_EQ(queue, "printer 1 is ready and printing\nno entries\n");
    fs::remove_all(folder);
}

}  // namespace
}  // namespace simtest
