#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFile>

#include "qt_test_env.h"
#include "support/test_support.h"
#include "ui/toolkit/gif_image.h"
#include "ui/toolkit/my_progress_bar.h"
#include "ui/toolkit/skin.h"

namespace zorvex::ui {
namespace {

const QColor kFill(0xEE, 0x8E, 0x31), kTrack(0xF7, 0xF7, 0xF7), kOutline(0xD6, 0xD6, 0xD6);

TEST(MyProgressBar, FillIsThePositionShareOfTheWidth) {
    CMyProgressBar bar(nullptr);
    bar.resize(142, 8);
    bar.SetRange(0, 100);
    EXPECT_EQ(bar.fillWidth(), 0);
    QImage image = test::grab(bar);
    EXPECT_TRUE(test::sameColour(image.pixel(0, 4), kOutline));
    EXPECT_TRUE(test::sameColour(image.pixel(70, 4), kTrack));

    bar.SetPos(37);
    EXPECT_EQ(bar.fillWidth(), 52);  // 37 x 1.42, truncated
    image = test::grab(bar);
    EXPECT_TRUE(test::sameColour(image.pixel(51, 4), kFill));
    EXPECT_TRUE(test::sameColour(image.pixel(52, 4), kTrack));

    bar.SetPos(100);
    image = test::grab(bar);
    EXPECT_TRUE(test::sameColour(image.pixel(0, 4), kFill)) << "covers the outline on the left";
    EXPECT_TRUE(test::sameColour(image.pixel(70, 0), kFill)) << "and on the top";
    EXPECT_TRUE(test::sameColour(image.pixel(70, 7), kFill)) << "and on the bottom";
    EXPECT_TRUE(test::sameColour(image.pixel(141, 4), kFill));
}

TEST(MyProgressBar, PositionIsClampedAndAnEmptyRangeShowsNoFill) {
    CMyProgressBar bar(nullptr);
    bar.resize(100, 10);
    bar.SetRange(0, 100);
    bar.SetPos(150);
    EXPECT_EQ(bar.pos(), 100);
    EXPECT_EQ(bar.fillWidth(), 100);
    bar.SetPos(-5);
    EXPECT_EQ(bar.pos(), 0);
    bar.SetRange(50, 50);
    EXPECT_EQ(bar.fillWidth(), 0);
    test::grab(bar);  // paints without dividing by zero
}

TEST(GIFImage, FrameDelaysOfZeroOrTenMillisecondsPlayAtOneHundred) {
    EXPECT_EQ(CGIFImage::effectiveDelay(0), 100);
    EXPECT_EQ(CGIFImage::effectiveDelay(10), 100);
    EXPECT_EQ(CGIFImage::effectiveDelay(20), 20);
    EXPECT_EQ(CGIFImage::effectiveDelay(80), 80);
}

TEST(GIFImage, AnimatesOnTheGuiThreadAndStops) {
    CGIFImage gif(nullptr);
    gif.resize(50, 16);
    gif.Load(skinPath("FP\\Coning.gif"));
    gif.SetKind(2);
    ASSERT_GT(gif.frameCount(), 1);
    EXPECT_TRUE(gif.playing());
    EXPECT_TRUE(gif.animating());
    EXPECT_EQ(gif.frameDelay(0), 80);
    EXPECT_TRUE(test::waitUntil([&] {
        QCoreApplication::processEvents();
        return gif.currentFrame() >= 2;
    }));
    gif.Stop();
    EXPECT_FALSE(gif.animating());
    const int frame = gif.currentFrame();
    QCoreApplication::processEvents();
    EXPECT_EQ(gif.currentFrame(), frame);
}

TEST(GIFImage, KindsCutTheirFrames) {
    // Kind 2 draws the whole frame into 50 x 16 whatever the control's size.
    CGIFImage badge(nullptr);
    badge.resize(80, 30);
    badge.Load(skinPath("FP\\Coning.gif"));
    badge.SetKind(2);
    badge.ShowFrame(0);
    const QImage image = test::grab(badge);
    const QColor accent(0xEE, 0x8E, 0x31);
    EXPECT_TRUE(test::sameColour(image.pixel(2, 2), accent, 30));
    EXPECT_TRUE(test::sameColour(image.pixel(47, 13), accent, 30));
    EXPECT_FALSE(test::sameColour(image.pixel(65, 8), accent, 30)) << "nothing right of 50";
    EXPECT_FALSE(test::sameColour(image.pixel(10, 22), accent, 30)) << "nothing below 16";

    // Kind 0 stretches the upper half over the control: the menu entry's 160 x 48.
    CGIFImage entry(nullptr);
    entry.resize(160, 48);
    entry.Load(skinPath("LeftMenu\\ConvertList.gif"));
    entry.ShowFrame(0);
    // Both halves of every frame hold the entry; the upper one fills all 48 rows.
    const QImage upper = test::grab(entry);
    EXPECT_TRUE(test::sameColour(upper.pixel(80, 46), QColor(0x33, 0x32, 0x37), 6));
}

TEST(GIFImage, OneFrameIsDrawnOnceAndAMissingFileDrawsNothing) {
    // A 1 x 1 GIF with a single frame.
    static const unsigned char oneFrame[] = {
        'G',  'I', 'F', '8', '9',  'a',  1, 0, 1,  0,    0x80, 0, 0,    0xEE, 0x8E,
        0x31, 0,   0,   0,   0x21, 0xF9, 4, 0, 10, 0,    0,    0, 0x2C, 0,    0,
        0,    0,   1,   0,   1,    0,    0, 2, 2,  0x44, 1,    0, 0x3B};
    test::TempDir dir;
    const std::string path =
        dir.write("one.gif", std::string(reinterpret_cast<const char*>(oneFrame), sizeof oneFrame));
    CGIFImage gif(nullptr);
    gif.resize(20, 20);
    gif.Load(QString::fromStdString(path));
    EXPECT_EQ(gif.frameCount(), 1);
    EXPECT_FALSE(gif.animating());
    EXPECT_TRUE(test::sameColour(test::grab(gif).pixel(10, 5), QColor(0xEE, 0x8E, 0x31)));

    CGIFImage missing(nullptr);
    missing.resize(20, 20);
    missing.Load(QString::fromStdString(dir.file("none.gif")));
    EXPECT_EQ(missing.frameCount(), 0);
    EXPECT_FALSE(missing.animating());
    test::grab(missing);
}

}  // namespace
}  // namespace zorvex::ui
