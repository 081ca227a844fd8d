#include "service/document_root.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "support/test_support.h"

namespace zorvex {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> names(const std::vector<ListedEntry>& entries) {
    std::vector<std::string> out;
    for (const ListedEntry& entry : entries) out.push_back(entry.name + (entry.folder ? "/" : ""));
    return out;
}

class DocumentRootTest : public ::testing::Test {
protected:
    void SetUp() override {
        home.write("config.ini", "secret");
        home.write("file_root/image/a.jpg", "jpeg");
        home.write("file_root/" + std::string(32, 'a'), "link");
        home.write("file_root/.a.tmp-Xy12Zz", "leftover");
    }
    test::TempDir home;
};

TEST_F(DocumentRootTest, OpensFilesAndFoldersInsideOnly) {
    DocumentRoot root(home.file("file_root"));
    EXPECT_TRUE(root.open("").isFolder());
    EXPECT_TRUE(root.open("image").isFolder());
    EXPECT_TRUE(root.open("image/a.jpg").isFile());
    EXPECT_FALSE(root.open("missing").valid());

    fs::create_directory_symlink(home.path(), home.file("file_root/up"));
    fs::create_symlink(home.file("config.ini"), home.file("file_root/cfg"));
    fs::create_symlink("image/a.jpg", home.file("file_root/same.jpg"));
    fs::create_symlink("../config.ini", home.file("file_root/image/../relative.ini"));
    fs::create_symlink("../image/a.jpg", home.file("file_root/image/back.jpg"));
    EXPECT_FALSE(root.open("relative.ini").valid());
    EXPECT_TRUE(root.open("image/back.jpg").isFile());
    EXPECT_FALSE(root.open("up").valid());
    EXPECT_FALSE(root.open("up/config.ini").valid());
    EXPECT_FALSE(root.open("cfg").valid());
    EXPECT_TRUE(root.open("same.jpg").isFile());
}

TEST_F(DocumentRootTest, ARootReachedThroughALinkStillCounts) {
    fs::create_directory_symlink(home.file("file_root"), home.file("served"));
    DocumentRoot root(home.file("served"));
    EXPECT_TRUE(root.open("image/a.jpg").isFile());
}

TEST_F(DocumentRootTest, DevicesAndPipesAreNeitherOpenedNorListed) {
    ASSERT_EQ(::mkfifo(home.file("file_root/pipe").c_str(), 0600), 0);
    DocumentRoot root(home.file("file_root"));
    // Opening a FIFO for reading would wait for a writer; it must not.
    EXPECT_FALSE(root.open("pipe").valid());
    fs::create_symlink("/dev/zero", home.file("file_root/zero"));
    EXPECT_FALSE(root.open("zero").valid());
    EXPECT_EQ(names(root.list(root.open(""))),
              (std::vector<std::string>{std::string(32, 'a'), "image/"}));
}

TEST_F(DocumentRootTest, ListingLeavesOutHiddenNamesAndEscapingLinks) {
    fs::create_directory_symlink(home.path(), home.file("file_root/up"));
    fs::create_directory_symlink(home.file("file_root/image"), home.file("file_root/thumbs"));
    fs::create_symlink(home.file("nowhere"), home.file("file_root/dangling"));
    DocumentRoot root(home.file("file_root"));
    auto entries = root.list(root.open(""));
    EXPECT_EQ(names(entries),
              (std::vector<std::string>{std::string(32, 'a'), "image/", "thumbs/"}));
    EXPECT_EQ(entries[0].size, 4);
    EXPECT_EQ(names(root.list(root.open("thumbs"))), (std::vector<std::string>{"a.jpg"}));
    // Only a folder inside lists anything.
    EXPECT_TRUE(root.list(DocumentRoot::openTarget(home.file("config.ini"))).empty());
}

}  // namespace
}  // namespace zorvex
