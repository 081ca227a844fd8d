#include "platform/firewall.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <filesystem>
#include <memory>

#include "platform/subprocess.h"
#include "support/child_process.h"
#include "support/test_support.h"

namespace zorvex {
namespace {

using Kind = FirewallKind;
using State = FirewallState;
namespace fs = std::filesystem;

// A bus of the test's own from dbus-daemon, standing in for the system bus.
struct PrivateBus {
    test::TempDir dir;
    std::unique_ptr<test::ChildProcess> daemon;
    const std::string address = "unix:path=" + dir.file("bus");

    PrivateBus() {
        std::string config =
            dir.write("bus.conf",
                      "<busconfig><listen>" + address +
                          "</listen><policy context='default'><allow own='*'/><allow "
                          "send_destination='*'/><allow receive_sender='*'/></policy></busconfig>");
        daemon = std::make_unique<test::ChildProcess>(
            "/usr/bin/dbus-daemon",
            std::vector<std::string>{"--config-file=" + config, "--nofork", "--print-address"},
            dir.file("bus.out"));
        EXPECT_TRUE(daemon->waitForOutput(address));  // listening
    }
};

TEST(FirewallProbe, JudgesTheAdaptersFirewalldZone) {
    PrivateBus bus;
    test::ChildProcess firewalld("/usr/bin/python3", {ZORVEX_FAKE_FIREWALLD, bus.address},
                                 bus.dir.file("firewalld.out"));
    ASSERT_TRUE(firewalld.waitForOutput("ready")) << firewalld.output();
    FirewallProbe::Options options;
    options.busAddress = bus.address;
    options.ufwConf = bus.dir.write("ufw.conf", "ENABLED=yes\n");  // firewalld comes first
    FirewallProbe probe(options);
    auto openFiles = [] { return std::distance(fs::directory_iterator("/proc/self/fd"), {}); };
    const auto filesBefore = openFiles();

    const std::string fix = " --add-service=zorvex && sudo firewall-cmd --reload";
    EXPECT_EQ(probe.look("wlan0"), (FirewallVerdict{Kind::Firewalld, State::Open, "home", ""}));
    EXPECT_EQ(probe.look("eth1"), (FirewallVerdict{Kind::Firewalld, State::Open, "work", ""}));
    EXPECT_EQ(probe.look("eth3"), (FirewallVerdict{Kind::Firewalld, State::Open, "trusted", ""}));
    FirewallVerdict shut = probe.look("eth0");  // the default zone, with 11718 open for UDP only
    EXPECT_EQ(shut, (FirewallVerdict{Kind::Firewalld, State::Blocked, "public",
                                     "sudo firewall-cmd --permanent --zone=public" + fix}));
    EXPECT_EQ(firewallFixArguments(shut),
              (std::vector<std::string>{"pkexec", ZORVEX_FIREWALL_HELPER, "firewalld", "public"}));

    // An unanswered call costs its bound, and a zone not known cannot be fixed for us.
    FirewallVerdict silent = probe.look("hang0");
    EXPECT_EQ(silent, (FirewallVerdict{Kind::Firewalld, State::MayBlock, "",
                                       "sudo firewall-cmd --permanent" + fix}));
    EXPECT_TRUE(firewallFixArguments(silent).empty());
    EXPECT_EQ(openFiles(), filesBefore);
}

TEST(FirewallProbe, WithoutFirewalldReadsUfw) {
    PrivateBus bus;
    FirewallProbe::Options options;
    options.busAddress = bus.address;
    options.ufwConf = bus.dir.file("no-ufw.conf");
    options.ufwRules = bus.dir.file("unreadable.rules");
    EXPECT_EQ(FirewallProbe(options).look("eth0"), FirewallVerdict{});
    bus.dir.write("no-ufw.conf", "# ENABLED=yes\nENABLED=no\n");
    EXPECT_EQ(FirewallProbe(options).look("eth0"), FirewallVerdict{});

    options.ufwConf = bus.dir.write("ufw.conf", "ENABLED=yes\nLOGLEVEL=low\n");
    const FirewallVerdict mayBlock{Kind::Ufw, State::MayBlock, "", "sudo ufw allow zorvex"};
    EXPECT_EQ(FirewallProbe(options).look("eth0"), mayBlock);
    // A stopped bus daemon, or none at all, leaves firewalld unknown, not the caller stuck.
    bus.daemon->signal(SIGSTOP);
    EXPECT_EQ(FirewallProbe(options).look("eth0"), mayBlock);
    options.busAddress = "unix:path=" + bus.dir.file("no-bus");
    EXPECT_EQ(FirewallProbe(options).look("eth0"), mayBlock);
    options.ufwAllowed = true;
    EXPECT_EQ(FirewallProbe(options).look("eth0"),
              (FirewallVerdict{Kind::Ufw, State::Open, "", ""}));

    // Rules readable after all: they decide, whatever was remembered, the first match first.
    options.ufwRules = bus.dir.write(
        "user.rules",
        "### tuple ### allow tcp 11700:11799 0.0.0.0/0 any 0.0.0.0/0 in_wlan0 comment=x\n"
        "### tuple ### allow tcp 11717 0.0.0.0/0 any 0.0.0.0/0 in\n"
        "### tuple ### deny tcp 11718 0.0.0.0/0 any 0.0.0.0/0 in\n"
        "### tuple ### allow any 11718 0.0.0.0/0 any 0.0.0.0/0 in\n");
    EXPECT_EQ(FirewallProbe(options).look("wlan0").state, State::Open);
    EXPECT_EQ(FirewallProbe(options).look("eth0"),
              (FirewallVerdict{Kind::Ufw, State::Blocked, "", "sudo ufw allow zorvex"}));
}

TEST(FirewallHelper, RefusesAllButItsTwoCommands) {
    std::vector<std::vector<std::string>> refused = {{}, {"ufw", "allow"}, {"UFW"}, {"firewalld"}};
    refused.push_back({"iptables", "-F"});
    refused.push_back({"firewalld", "home", "--reload"});
    for (const char* zone :
         {"", "-home", "--zone=home", "home;reboot", "a/../b", "abcdefghijklmnopqr"})
        refused.push_back({"firewalld", zone});
    for (const auto& arguments : refused) {
        std::vector<std::string> argv = {ZORVEX_FIREWALL_HELPER_BUILT};
        argv.insert(argv.end(), arguments.begin(), arguments.end());
        auto ran = runToEnd(argv);
        ASSERT_TRUE(ran);
        EXPECT_EQ(ran->exitCode, 2) << ran->output;
        EXPECT_TRUE(ran->output.starts_with("zorvex-firewall: refused: ")) << ran->output;
        EXPECT_EQ(ran->output.find('\n'), ran->output.size() - 1) << ran->output;
    }
}

}  // namespace
}  // namespace zorvex
