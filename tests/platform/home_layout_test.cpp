#include "platform/home_layout.h"

#include <gtest/gtest.h>

#include <string>

namespace zorvex {
namespace {

// Phones fetch /<key> and /image/<key>.jpg, so these two paths are fixed.
TEST(HomeLayout, KeysNameFilesInsideTheirFolders) {
    const HomeLayout home("/h");
    const std::string key = "0123456789abcdef0123456789abcdef";
    EXPECT_EQ(home.linkFile(key), "/h/file_root/" + key);
    EXPECT_EQ(home.thumbnail(key), "/h/file_root/image/" + key + ".jpg");
    // Bytes that are no path syntax pass unchanged: names are bytes here.
    EXPECT_EQ(home.thumbnail("\xE5\x9B\xBE \xFF"), "/h/file_root/image/\xE5\x9B\xBE \xFF.jpg");
    EXPECT_EQ(home.linkFile("..key"), "/h/file_root/..key");
}

TEST(HomeLayout, RefusesKeysThatWouldLeaveOrNameTheFolder) {
    const HomeLayout home("/h");
    // A zero byte would cut the path short at the C boundary: "/h/file_root/image/x".
    for (const std::string& key :
         {std::string(), std::string("."), std::string(".."), std::string("../../etc/passwd"),
          std::string("a/b"), std::string("/abs"), std::string("x\0.png", 6)}) {
        EXPECT_EQ(home.linkFile(key), "") << key;
        EXPECT_EQ(home.thumbnail(key), "") << key;
    }
}

}  // namespace
}  // namespace zorvex
