#include "platform/folder_watch.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>

#include "support/test_support.h"

namespace zorvex {
namespace {

TEST(FolderWatch, ReportsFilesComingAndGoingOnlyInWatchedFolders) {
    test::TempDir watched, other;
    FolderWatch watch;
    watch.watch(watched.path());
    watch.watch(watched.file("not-yet"));  // tried again once it exists
    EXPECT_FALSE(watch.changed());
    other.write("elsewhere.mp4", "x");
    EXPECT_FALSE(watch.changed());

    std::string file = watched.write("a.mp4", "x");
    EXPECT_TRUE(watch.changed());
    EXPECT_FALSE(watch.changed());  // each change is told once
    std::filesystem::rename(file, watched.file("b.mp4"));
    EXPECT_TRUE(watch.changed());
    std::filesystem::remove(watched.file("b.mp4"));
    EXPECT_TRUE(watch.changed());

    std::filesystem::create_directory(watched.file("not-yet"));
    EXPECT_TRUE(watch.changed());  // a folder appearing in a watched one
    watch.watch(watched.file("not-yet"));
    watched.write("not-yet/c.mp4", "x");
    EXPECT_TRUE(watch.changed());
}

TEST(FolderWatch, AnAlarmCallsBackOnItsOwnThreadForEachChange) {
    test::TempDir watched;
    std::atomic<int> calls{0};
    FolderAlarm alarm(watched.path(), [&] { ++calls; });
    ASSERT_TRUE(alarm.live());
    watched.write("a.mp4", "x");
    EXPECT_TRUE(test::waitUntil([&] { return calls >= 1; }));
    std::filesystem::remove(watched.file("a.mp4"));
    EXPECT_TRUE(test::waitUntil([&] { return calls >= 2; }));
    EXPECT_FALSE(FolderAlarm(watched.file("missing"), [] {}).live());
}

}  // namespace
}  // namespace zorvex
