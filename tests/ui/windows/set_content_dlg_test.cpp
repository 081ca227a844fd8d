#include "ui/windows/set_content_dlg.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "foundation/ini_file.h"
#include "platform/keep_awake.h"
#include "qt_test_env.h"
#include "ui/toolkit/kbc_button.h"
#include "window_fixture.h"

namespace zorvex::ui {
namespace {

using S = CSetContentDlg;

class SetContentTest : public test::WindowTest {
protected:
    // config.ini is rewritten through a new file, so each save gives it a new inode.
    ino_t configInode() const {
        struct stat info {};
        return ::stat(GetConfigPath().c_str(), &info) == 0 ? info.st_ino : 0;
    }
    int fileValue(const char* section, const char* key) const {
        return IniFile::load(GetConfigPath()).readInt(section, key, -1);
    }
    void click(S& page, int id) { test::click(*page.button(id)); }

    CoreSession session{CoreParts{}};
};

TEST_F(SetContentTest, QualityRadiosSaveOnlyAChange) {
    S page(nullptr, session);
    ASSERT_EQ(g_pSettings()->VideoConvertRatio, 1);
    EXPECT_TRUE(page.button(S::Id1080P)->checked());
    EXPECT_FALSE(page.button(S::Id2K)->checked());

    const ino_t before = configInode();
    ASSERT_NE(before, 0u);
    click(page, S::Id1080P);  // chosen already: nothing is written
    EXPECT_EQ(configInode(), before);

    click(page, S::Id2K);
    EXPECT_NE(configInode(), before);
    EXPECT_EQ(fileValue(kVideoSection, "VideoConvert-Ratio"), 2);
    EXPECT_EQ(g_pSettings()->VideoConvertRatio, 2);
    EXPECT_TRUE(page.button(S::Id2K)->checked());
    EXPECT_FALSE(page.button(S::Id1080P)->checked());

    const ino_t after2K = configInode();
    click(page, S::Id2K);
    EXPECT_EQ(configInode(), after2K);
    click(page, S::Id1080P);
    EXPECT_EQ(fileValue(kVideoSection, "VideoConvert-Ratio"), 1);
}

TEST_F(SetContentTest, KeepAwakeBoxSavesEveryToggle) {
    S page(nullptr, session);
    ASSERT_TRUE(page.button(S::IdKeepAwake)->checked());
    const ino_t before = configInode();
    click(page, S::IdKeepAwake);
    const ino_t afterFirst = configInode();
    EXPECT_NE(afterFirst, before);
    EXPECT_FALSE(page.button(S::IdKeepAwake)->checked());
    EXPECT_EQ(fileValue(kNormalSection, "ComSleep-UnSleep"), 0);
    click(page, S::IdKeepAwake);
    EXPECT_TRUE(page.button(S::IdKeepAwake)->checked());
    EXPECT_EQ(fileValue(kNormalSection, "ComSleep-UnSleep"), 1);
    EXPECT_NE(configInode(), afterFirst) << "each toggle saved";
}

TEST_F(SetContentTest, AKeepAwakeThatCannotWorkIsOffAndSaysWhy) {
    InhibitKeepAwake::Options noBus;
    noBus.busSocket = "/nonexistent/system_bus_socket";
    InhibitKeepAwake lacking(noBus);
    CoreParts parts;
    parts.keepAwake = &lacking;
    CoreSession here(parts);
    S page(nullptr, here);
    ASSERT_EQ(g_pSettings()->ComSleepUnSleep, 1);
    EXPECT_TRUE(page.button(S::IdKeepAwake)->inactive());
    EXPECT_FALSE(page.button(S::IdKeepAwake)->checked());
    EXPECT_TRUE(page.button(S::IdKeepAwake)->toolTip().contains(QStringLiteral("系统总线")));
    const ino_t before = configInode();
    click(page, S::IdKeepAwake);
    EXPECT_EQ(configInode(), before) << "the choice stays for a system where it works";
}

TEST_F(SetContentTest, AnUnknownRatioShows2KAndStaysUntilAClick) {
    g_pSettings()->VideoConvertRatio = 0;
    S page(nullptr, session);
    EXPECT_TRUE(page.button(S::Id2K)->checked());
    EXPECT_FALSE(page.button(S::Id1080P)->checked());
    click(page, S::Id2K);
    EXPECT_EQ(g_pSettings()->VideoConvertRatio, 0);
    EXPECT_EQ(
        page.versionText(),
        QStringLiteral("当前版本：V%1 ").arg(QString::fromStdString(GetProductVersionText())));
}

TEST_F(SetContentTest, TheCheckButtonAsksOnceWhileACheckRuns) {
    S page(nullptr, session);
    int asked = 0;
    QObject::connect(&page, &S::updateCheckRequested, [&] { ++asked; });
    click(page, S::IdCheckUpdate);
    EXPECT_EQ(asked, 1);
    page.SetCheckRunning(true);
    EXPECT_TRUE(page.button(S::IdCheckUpdate)->inactive());
    click(page, S::IdCheckUpdate);
    EXPECT_EQ(asked, 1);
    page.SetCheckRunning(false);
    click(page, S::IdCheckUpdate);
    EXPECT_EQ(asked, 2);
}

}  // namespace
}  // namespace zorvex::ui
