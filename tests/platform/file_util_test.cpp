#include "platform/file_util.h"
#include "platform/md5.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/test_support.h"

namespace zorvex {
namespace {

TEST(Md5, KnownDigests) {
    EXPECT_EQ(md5Hex(""), "d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(md5Hex("abc"), "900150983cd24fb0d6963f7d28e17f72");
}

TEST(FileUtil, MakeDirectoriesCreatesEveryMissingParent) {
    test::TempDir dir;
    std::string deep = dir.file("a/b/c");
    EXPECT_TRUE(makeDirectories(deep));
    EXPECT_TRUE(isDirectory(deep));
    EXPECT_TRUE(makeDirectories(deep));  // existing is success
    dir.write("file", "x");
    EXPECT_FALSE(makeDirectories(dir.file("file/sub")));
}

TEST(FileUtil, AtomicWriteReplacesAndLeavesNoTemporaryFiles) {
    test::TempDir dir;
    std::string target = dir.file("config.ini");
    ASSERT_TRUE(writeFileAtomic(target, "old"));
    ASSERT_TRUE(writeFileAtomic(target, std::string("new\0bytes", 9)));
    EXPECT_EQ(test::readFile(target), std::string("new\0bytes", 9));
    int files = 0;
    for (auto& e : std::filesystem::directory_iterator(dir.path())) files += e.is_regular_file();
    EXPECT_EQ(files, 1);
    EXPECT_FALSE(writeFileAtomic(dir.file("missing/x"), "y"));
}

TEST(FileUtil, HeadReadsAtMostTheBound) {
    test::TempDir dir;
    auto path = dir.write("f", "0123456789");
    EXPECT_EQ(readFileHead(path, 4).value(), "0123");
    EXPECT_EQ(readFileHead(path, 100).value(), "0123456789");
    EXPECT_FALSE(readFileHead(dir.file("none"), 4).has_value());
    EXPECT_EQ(parentFolder("/a/b.mp4"), "/a");
    EXPECT_EQ(fileNamePart("/a/b.mp4"), "b.mp4");
    EXPECT_EQ(fileNamePart("b.mp4"), "b.mp4");
}

}  // namespace
}  // namespace zorvex
