#include "media/output_name.h"

#include <gtest/gtest.h>

#include "platform/file_util.h"

namespace zorvex {
namespace {

TEST(ConvertedNames, ExtensionBecomesMp4UnlessItAlreadyIs) {
    EXPECT_EQ(ConvertedFileName("clip.MP4"), "clip.MP4");
    EXPECT_EQ(ConvertedFileName("clip.mp4"), "clip.mp4");
    EXPECT_EQ(ConvertedFileName("clip.Mp4"), "clip.mp4");
    EXPECT_EQ(ConvertedFileName("movie.avi"), "movie.mp4");
    EXPECT_EQ(ConvertedFileName("a.b.mkv"), "a.b.mp4");
    EXPECT_EQ(ConvertedFileName("noextension"), "mp4");
    EXPECT_EQ(ConvertedOutputPath("/h/appData/converted/", "a.avi"), "/h/appData/converted/a.mp4");
    EXPECT_EQ(ConvertedOutputPath("/h//./converted/.", "a.avi"), "/h/converted/a.mp4");
    EXPECT_EQ(ConvertedOutputPath("C:\\out", "a.avi"), "C:/out/a.mp4");
    // A name names a file of the folder, never one elsewhere.
    EXPECT_EQ(ConvertedOutputPath("/h/out", "../../elsewhere/evil.mkv"), "");
    EXPECT_EQ(ConvertedOutputPath("/h/out", "..\\a.avi"), "/h/out/..\\a.mp4");
    EXPECT_EQ(normalizedPath("//a/./../b//"), "/a/../b");
    EXPECT_EQ(normalizedPath("./a"), "a");
    EXPECT_EQ(normalizedPath("/"), "/");
    EXPECT_EQ(normalizedPath("."), ".");
}

}  // namespace
}  // namespace zorvex
