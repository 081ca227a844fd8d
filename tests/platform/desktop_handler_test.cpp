#include "platform/desktop_handler.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <string>

#include "support/test_support.h"

namespace zorvex {
namespace {

using Answer = DesktopHandler::Answer;

// A stand-in xdg-mime first on PATH: the real one is not on every machine,
// and its answers depend on the desktop it runs in.
class DesktopHandlerTest : public ::testing::Test {
protected:
    void SetUp() override {
        const char* path = std::getenv("PATH");
        savedPath_ = path ? path : "";
        ::setenv("PATH", (dir_.path() + ":" + savedPath_).c_str(), 1);
    }
    void TearDown() override { ::setenv("PATH", savedPath_.c_str(), 1); }

    void fakeXdgMime(const std::string& body) {
        std::string script = dir_.write("xdg-mime", "#!/bin/sh\n" + body);
        ::chmod(script.c_str(), 0755);
    }

    test::TempDir dir_;
    std::string savedPath_;
};

TEST_F(DesktopHandlerTest, NamesTheDefaultApplicationSaysWhenThereIsNoneOrThatItCannotTell) {
    fakeXdgMime(R"(
case "$2" in
  filetype) echo "warning: noise first"; echo "application/x-ms-dos-executable" ;;
  default) [ "$3" = application/x-ms-dos-executable ] && echo wine.desktop ;;
esac
)");
    DesktopHandler found = FindDesktopHandler("/tmp/Zorvex助手1.0.19.exe");
    EXPECT_EQ(found.answer, Answer::Found);
    EXPECT_EQ(found.application, "wine.desktop");

    // No Wine: nothing takes the type, whether said by an empty answer or a failing one.
    for (std::string none : {"", "exit 4"}) {
        fakeXdgMime("case \"$2\" in filetype) echo application/x-dosexec ;; default) " + none +
                    " ;; esac\n");
        EXPECT_EQ(FindDesktopHandler("/tmp/a.exe").answer, Answer::None) << none;
    }
    // Cannot tell: a type that is none, or an xdg-mime that hangs.
    fakeXdgMime("echo 'not a type'\n");
    EXPECT_EQ(FindDesktopHandler("/tmp/a.exe").answer, Answer::Unknown);
    fakeXdgMime("exec sleep 300\n");
    EXPECT_EQ(FindDesktopHandler("/tmp/a.exe", std::chrono::milliseconds(200)).answer,
              Answer::Unknown);
}

}  // namespace
}  // namespace zorvex
