#include "platform/autostart_entry.h"

#include <gtest/gtest.h>

#include "support/test_support.h"

namespace zorvex {
namespace {

TEST(AutostartEntry, WritesADesktopEntry) {
    test::TempDir dir;
    std::string folder = dir.file("config/autostart");
    ASSERT_TRUE(writeAutostartEntry(folder, "Zorvex助手", "/opt/zorvex/zorvex"));
    EXPECT_EQ(test::readFile(folder + "/ZorvexVRClient.desktop"),
              "[Desktop Entry]\n"
              "Type=Application\n"
              "Name=Zorvex助手\n"
              "Exec=/opt/zorvex/zorvex\n"
              "Terminal=false\n"
              "X-GNOME-Autostart-enabled=true\n");
    EXPECT_FALSE(writeAutostartEntry(folder, "Zorvex助手", "/opt/a\nExec=/bin/evil"));
}

TEST(AutostartEntry, ExecStartsExactlyThePathEvenWithReservedCharacters) {
    EXPECT_EQ(desktopExecValue("/opt/zorvex/zorvex"), "/opt/zorvex/zorvex");
    EXPECT_EQ(desktopExecValue("/opt/100%/zorvex"), "/opt/100%%/zorvex");
    EXPECT_EQ(desktopExecValue("/home/a b/zorvex"), "\"/home/a b/zorvex\"");
    // Inside quotes ", `, $ and \ take a backslash, itself escaped once more in
    // the file, so \ becomes four backslashes.
    EXPECT_EQ(desktopExecValue("/x/\"q\"/$v/`c`/b\\s"),
              "\"/x/\\\\\"q\\\\\"/\\\\$v/\\\\`c\\\\`/b\\\\\\\\s\"");
}

}  // namespace
}  // namespace zorvex
