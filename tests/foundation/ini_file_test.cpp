#include "foundation/ini_file.h"

#include <gtest/gtest.h>

namespace zorvex {
namespace {

TEST(IniFile, LooksUpLikeThePrivateProfileFunctions) {
    auto ini = IniFile::parse(
        "Orphan=1\n"
        "; Base-AutoRun=5\n"
        "[ NormalSetting ]\n"
        "  base-autorun =  3  \n"
        "Base-AutoRun=4\n"
        "DefaultIP=\"10.0.0.1\"\n"
        "Quoted='a b'\n"
        "Odd=\"a'\n"
        "[normalsetting]\n"
        "Second=1\n");
    EXPECT_EQ(ini.value("NormalSetting", "Base-AutoRun"), "3");  // first of duplicates
    EXPECT_EQ(ini.value("NORMALSETTING", "defaultip"), "10.0.0.1");
    EXPECT_EQ(ini.value("NormalSetting", "Quoted"), "a b");
    EXPECT_EQ(ini.value("NormalSetting", "Odd"), "\"a'");
    EXPECT_FALSE(ini.value("NormalSetting", "Second"));  // in the duplicate section
    EXPECT_FALSE(ini.value("NormalSetting", "Orphan"));
    EXPECT_FALSE(ini.value("Missing", "Base-AutoRun"));
    EXPECT_EQ(ini.readString("NormalSetting", "Missing", "fallback", 19), "fallback");
}

TEST(IniFile, ReadsIntegersFromLeadingDigits) {
    auto ini = IniFile::parse(
        "[S]\nplain=12\nsuffix=7abc\nblank= 3\nsigned=-1\nplus=+5\nword=abc\nempty=\n"
        "huge=4294967297\n");
    EXPECT_EQ(ini.readInt("S", "plain", 9), 12);
    EXPECT_EQ(ini.readInt("S", "suffix", 9), 7);
    EXPECT_EQ(ini.readInt("S", "blank", 9), 3);
    EXPECT_EQ(ini.readInt("S", "signed", 9), -1);
    EXPECT_EQ(ini.readInt("S", "plus", 9), 5);
    EXPECT_EQ(ini.readInt("S", "word", 9), 9);
    EXPECT_EQ(ini.readInt("S", "empty", 9), 9);
    EXPECT_EQ(ini.readInt("S", "missing", 9), 9);
    EXPECT_EQ(ini.readInt("S", "huge", 9), 1);  // wraps at 32 bits
}

TEST(IniFile, WriteReplacesOneLineAndKeepsEverythingElse) {
    std::string original =
        "\xEF\xBB\xBF[NormalSetting]\r\n"
        "; keep this comment\r\n"
        "ExitWndType = 1\r\n"
        "Custom=x\r\n"
        "\r\n"
        "[Other]\r\n"
        "Key=v";
    auto ini = IniFile::parse(original);
    EXPECT_EQ(ini.text(), original);

    ASSERT_TRUE(ini.write("normalsetting", "exitwndtype", "3"));
    ASSERT_TRUE(ini.write("NormalSetting", "DeleteOrigin", "0"));
    ASSERT_TRUE(ini.write("Other", "More", "1"));
    ASSERT_TRUE(ini.write("VideoSetting", "ConvertPath", "/v"));
    EXPECT_EQ(ini.text(),
              "\xEF\xBB\xBF[NormalSetting]\r\n"
              "; keep this comment\r\n"
              "exitwndtype=3\r\n"
              "Custom=x\r\n"
              "DeleteOrigin=0\r\n"
              "\r\n"
              "[Other]\r\n"
              "Key=v\r\n"
              "More=1\r\n"
              "\r\n"
              "[VideoSetting]\r\n"
              "ConvertPath=/v\r\n");
}

TEST(IniFile, WriteRefusesTextThatWouldBreakTheFileAndQuotesWhatReadingWouldChange) {
    IniFile ini;
    ASSERT_TRUE(ini.write("S", "Path", "/old"));
    std::string before = ini.text();
    EXPECT_FALSE(ini.write("S", "Path", "/new\n[S]\nPath=/evil"));
    EXPECT_FALSE(ini.write("S", "Path", std::string("/a\0b", 4)));
    EXPECT_FALSE(ini.write("S", "Pa=th", "x"));
    EXPECT_FALSE(ini.write("S]", "Path", "x"));
    EXPECT_EQ(ini.text(), before);

    for (std::string value : {" padded ", "\"quoted\"", "'single'", "", "a \"b\" c"}) {
        ASSERT_TRUE(ini.write("S", "Path", value));
        EXPECT_EQ(IniFile::parse(ini.text()).value("S", "Path"), value) << value;
    }
}

TEST(IniFile, TruncatesByUtf16UnitsWithoutSplittingCharacters) {
    EXPECT_EQ(truncateUtf16Units("abcdef", 4), "abcd");
    EXPECT_EQ(truncateUtf16Units("中文路径", 3), "中文路");
    // U+1F600 takes two units: the second one would not fit.
    EXPECT_EQ(truncateUtf16Units("a\xF0\x9F\x98\x80", 2), "a");
    EXPECT_EQ(truncateUtf16Units("a\xF0\x9F\x98\x80", 3), "a\xF0\x9F\x98\x80");
    // Broken bytes count one unit each and survive unchanged.
    EXPECT_EQ(truncateUtf16Units("\xE4\xB8x\xFF", 3), "\xE4\xB8x");
}

}  // namespace
}  // namespace zorvex
