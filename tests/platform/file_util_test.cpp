#include "platform/file_util.h"
#include "platform/md5.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <vector>

#include "support/test_support.h"

namespace zorvex {
namespace {

TEST(Md5, KnownDigests) {
    EXPECT_EQ(md5Hex(""), "d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(md5Hex("abc"), "900150983cd24fb0d6963f7d28e17f72");
    // Around the padding's block boundary (55, 56, 64 bytes) and past one block.
    EXPECT_EQ(md5Hex(std::string(55, 'a')), "ef1772b6dff9a122358552954ad0df65");
    EXPECT_EQ(md5Hex(std::string(56, 'a')), "3b0c8ac703f828b04c6c197006d17218");
    EXPECT_EQ(md5Hex(std::string(64, 'a')), "014842d480b571495a4a0363793f7367");
    EXPECT_EQ(
        md5Hex("12345678901234567890123456789012345678901234567890123456789012345678901234567890"),
        "57edf4a22be3c955ac49da2e2107b67a");
    EXPECT_EQ(md5Hex("/home/user/视频/a.mp4"), "84766d269292fe508de50f88a8f74394");
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
    std::error_code error;
    EXPECT_FALSE(writeFileAtomic(dir.file("missing/x"), "y", &error));
    EXPECT_EQ(error, std::errc::no_such_file_or_directory);
}

TEST(FileUtil, AFailedRenameLeavesTheTargetAndNoTemporaryFile) {
    test::TempDir dir;
    ASSERT_TRUE(makeDirectories(dir.file("taken/inside")));
    std::error_code error;
    EXPECT_FALSE(writeFileAtomic(dir.file("taken"), "data", &error));  // a folder stands there
    EXPECT_TRUE(error);
    EXPECT_TRUE(isDirectory(dir.file("taken/inside")));
    int entries = 0;
    for (auto& e : std::filesystem::directory_iterator(dir.path())) entries += !e.is_directory();
    EXPECT_EQ(entries, 0);
}

TEST(FileUtil, TemporaryNamesAreHiddenUniqueAndRecognisedWithTheOldForm) {
    std::string temp = TemporaryNameFor("config.ini");
    ASSERT_EQ(temp.size(), std::string(".config.ini.tmp-").size() + 6);
    EXPECT_EQ(temp.rfind(".config.ini.tmp-", 0), 0u);
    EXPECT_NE(TemporaryNameFor("config.ini"), temp);
    EXPECT_LE(TemporaryNameFor(std::string(255, 'n')).size(), 255u);
    for (std::string name : {temp, std::string(".0123abcd.tmp-Zz09aB"), std::string("a.tmp1"),
                             std::string("config.ini.tmp123456")}) {
        EXPECT_TRUE(isTemporaryLeftover(name)) << name;
    }
    for (std::string name :
         {"config.ini", ".hidden", "a.tmp", "a.tmp1234567", ".tmp123456", ".x.tmp-abcde",
          "x.tmp-abcdef", ".x.tmp-abc!ef", "video.tmp12a", ".x.tmp-abcdefg"}) {
        EXPECT_FALSE(isTemporaryLeftover(name)) << name;
    }
}

TEST(FileUtil, LeftoversAreRemovedFromOneFolderOnly) {
    test::TempDir dir;
    for (const char* leftover : {".config.ini.tmp-Ab12Cd", "config.ini.tmp42",
                                 "0123456789abcdef0123456789abcdef.tmp999999"}) {
        dir.write(leftover, "half");
    }
    dir.write("config.ini", "kept");
    dir.write("image/x.jpg.tmp12", "below: kept");
    ASSERT_TRUE(makeDirectories(dir.file(".folder.tmp-abcdef")));
    EXPECT_EQ(removeTemporaryLeftovers(dir.path()), 3);
    std::vector<std::string> left;
    for (auto& e : std::filesystem::directory_iterator(dir.path()))
        left.push_back(e.path().filename().string());
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{".folder.tmp-abcdef", "config.ini", "image"}));
    EXPECT_TRUE(isRegularFile(dir.file("image/x.jpg.tmp12")));
    EXPECT_EQ(removeTemporaryLeftovers(dir.file("none")), 0);
}

TEST(FileUtil, PartialFilesAreHiddenOnlyTheyAreRemovedAndTheyNeverReplaceAFile) {
    test::TempDir dir;
    std::string partial;
    int fd = createPartialFile(dir.file("clip.mp4"), &partial);
    ASSERT_GE(fd, 0);
    ::close(fd);
    std::string name = fileNamePart(partial);
    EXPECT_EQ(name.rfind(".clip.mp4.part-", 0), 0u) << name;
    EXPECT_TRUE(isPartialLeftover(name));
    EXPECT_FALSE(isPartialLeftover("clip.mp4.part-abcdef"));   // not hidden: not ours
    EXPECT_FALSE(isPartialLeftover(".clip.mp4.part-abc_ef"));  // not our letters
    EXPECT_FALSE(isTemporaryLeftover(name));
    dir.write(".clip.mp4.tmp-Ab12Cd", "a stored file's: not a conversion's");
    dir.write("clip.part", "the user's");
    EXPECT_EQ(removePartialLeftovers(dir.path()), 1);
    EXPECT_FALSE(pathExists(partial));
    EXPECT_TRUE(pathExists(dir.file(".clip.mp4.tmp-Ab12Cd")));

    std::string from = dir.write("from", "new"), to = dir.write("to", "old");
    EXPECT_EQ(commitPartialFile(from, to), EEXIST);
    EXPECT_EQ(test::readFile(to), "old");
    EXPECT_EQ(commitPartialFile(from, dir.file("fresh")), 0);
    EXPECT_EQ(test::readFile(dir.file("fresh")), "new");
    EXPECT_FALSE(pathExists(from));
}

TEST(FileUtil, BoundedReadsAndFolderChecksTellTheirCause) {
    test::TempDir dir;
    std::string small = dir.write("small", "0123456789");
    BoundedRead read = readFileAtMost(small, 10);
    EXPECT_EQ(read.status, BoundedRead::Status::Ok);
    EXPECT_EQ(read.data, "0123456789");
    EXPECT_EQ(readFileAtMost(small, 9).status, BoundedRead::Status::TooLarge);
    EXPECT_EQ(readFileAtMost(dir.file("none"), 9).status, BoundedRead::Status::Missing);
    read = readFileAtMost(dir.path(), 1 << 20);  // a folder opens, but does not read
    EXPECT_EQ(read.status, BoundedRead::Status::Failed);
    EXPECT_EQ(read.error, EISDIR);

    std::error_code error;
    EXPECT_FALSE(makeDirectories(small + "/sub", &error));
    EXPECT_EQ(error, std::errc::not_a_directory);
    EXPECT_FALSE(makeDirectories(small, &error));
    EXPECT_EQ(error, std::errc::not_a_directory);

    EXPECT_EQ(probeWritableFolder(dir.path()), 0);
    EXPECT_EQ(probeWritableFolder(dir.file("none")), ENOENT);
    EXPECT_EQ(probeWritableFolder(small), ENOTDIR);
    int entries = 0;
    for (auto& e : std::filesystem::directory_iterator(dir.path())) entries += e.exists();
    EXPECT_EQ(entries, 1);  // the probe left nothing
}

TEST(FileUtil, HeadReadsAtMostTheBound) {
    test::TempDir dir;
    auto path = dir.write("f", "0123456789");
    EXPECT_EQ(readFileHead(path, 4).value(), "0123");
    EXPECT_EQ(readFileHead(path, 100).value(), "0123456789");
    EXPECT_FALSE(readFileHead(dir.file("none"), 4).has_value());
    // A FIFO without a writer would block the reader for good.
    std::string fifo = dir.file("fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    EXPECT_FALSE(readFileHead(fifo, 4).has_value());
    EXPECT_FALSE(readWholeFile(fifo).has_value());
    EXPECT_EQ(readFileAtMost(fifo, 4).status, BoundedRead::Status::Failed);
    EXPECT_EQ(parentFolder("/a/b.mp4"), "/a");
    EXPECT_EQ(fileNamePart("/a/b.mp4"), "b.mp4");
    EXPECT_EQ(fileNamePart("b.mp4"), "b.mp4");
}

}  // namespace
}  // namespace zorvex
