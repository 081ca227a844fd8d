#include "ui/toolkit/skin.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QImageReader>

#include "support/test_support.h"

namespace zorvex::ui {
namespace {

struct SkinFile {
    const char* name;
    int width;
    int height;
};

// Sizes follow from how the windows cut the images: the source rectangles and
// the state cells stacked vertically.
const SkinFile kSkin[] = {
    {"Comm\\Frame_Left.png", 16, 630},
    {"Comm\\Frame_Top.png", 1004, 16},
    {"Comm\\Frame_Right.png", 16, 630},
    {"Comm\\Frame_Bottom.png", 1004, 16},
    {"Comm\\Frame_Full.png", 1012, 670},
    {"Comm\\Min.png", 18, 72},
    {"Comm\\Close.png", 18, 72},
    {"Comm\\Select.png", 12, 24},
    {"Comm\\1.png", 315, 80},
    {"Comm\\Warning.png", 24, 24},
    {"Comm\\AddFile.png", 64, 120},
    {"Comm\\Add.png", 380, 240},
    {"FP\\AddFile.png", 64, 120},
    {"FP\\Convert.png", 64, 120},
    {"FP\\Delete.png", 64, 120},
    {"FP\\Group_a.png", 64, 120},
    {"FP\\Group_b.png", 64, 120},
    {"FP\\IPState.png", 18, 36},
    {"FP\\IPCombo.png", 126, 44},
    {"FP\\ConvertList.png", 64, 120},
    {"FP\\ConvertList.gif", 64, 30},
    {"FP\\FlyScreen.png", 160, 144},
    {"FP\\About.png", 160, 144},
    {"FP\\ComboBox.png", 116, 96},
    {"FP\\Check.png", 14, 42},
    {"FP\\NoVideoSrc.png", 128, 72},
    {"FP\\Coning.png", 50, 16},
    {"FP\\Coned.png", 50, 16},
    {"FP\\SelectBK.png", 144, 116},
    {"FP\\BK.png", 144, 116},
    {"FP\\Coning.gif", 50, 16},
    {"FP\\Lose.png", 128, 72},
    {"FP\\Con_Wait.png", 50, 16},
    {"LeftMenu\\Secret.png", 160, 144},
    {"LeftMenu\\ConvertList.png", 160, 144},
    {"LeftMenu\\Setting.png", 160, 144},
    {"LeftMenu\\logo.png", 160, 50},
    {"LeftMenu\\ConvertList.gif", 160, 96},
    {"Msg\\Button.png", 90, 120},
    {"Msg\\RunHide.png", 90, 120},
    {"Msg\\Check.png", 14, 42},
    {"Msg\\Close.png", 24, 96},
    {"Setting\\Button.png", 90, 120},
    {"Setting\\Check.png", 14, 42},
    {"Setting\\Radio.png", 14, 42},
    {"Convert\\CleanBtn.png", 16, 64},
    {"Convert\\OpenPath.png", 24, 72},
    {"Convert\\Close.png", 64, 120},
    {"Convert\\Check.png", 14, 42},
    {"Convert\\NoVideoSrc.png", 128, 72},
    {"Convert\\Start.png", 24, 96},
    {"Convert\\Converted.png", 18, 18},
    {"Convert\\Pause.png", 24, 96},
    {"Convert\\Error.png", 14, 14},
    {"Convert\\Delete.png", 24, 96},
    {"Convert\\Reset.png", 24, 96},
    {"Convert\\Tip.png", 13, 13},
    {"Update\\Update.png", 460, 140},
};

TEST(Skin, EveryFileIsBesideTheExecutableWithItsSize) {
    for (const SkinFile& file : kSkin) {
        const QString path = skinPath(QString::fromLatin1(file.name));
        EXPECT_TRUE(path.startsWith(QCoreApplication::applicationDirPath() + "/SkinRes/"))
            << file.name;
        QImageReader reader(path);
        const QImage image = reader.read();
        ASSERT_FALSE(image.isNull()) << file.name << ": " << reader.errorString().toStdString();
        EXPECT_EQ(image.size(), QSize(file.width, file.height)) << file.name;
        // Beside it, the same art at twice the size for high-DPI screens.
        const QString twice = skinPathFor(QString::fromLatin1(file.name), 2.0);
        EXPECT_TRUE(twice.contains(QStringLiteral("@2x."))) << file.name;
        EXPECT_EQ(QImageReader(twice).size(), QSize(file.width, file.height) * 2) << file.name;
    }
    EXPECT_TRUE(SkinImage::load("FP\\Check.png").hasDouble());
    EXPECT_EQ(skinPathFor("FP\\Check.png", 1.0), skinPath("FP\\Check.png"));
}

TEST(Skin, AnimationsHaveSeveralFramesWithDelays) {
    for (const char* name :
         {"FP\\Coning.gif", "FP\\ConvertList.gif", "LeftMenu\\ConvertList.gif"}) {
        QImageReader reader(skinPath(QString::fromLatin1(name)));
        EXPECT_GT(reader.imageCount(), 1) << name;
        ASSERT_TRUE(reader.canRead()) << name;
        reader.read();
        EXPECT_GT(reader.nextImageDelay(), 10) << name;
    }
}

TEST(Skin, FrameShadowFadesOutwardsToTransparent) {
    const QImage left =
        loadSkinImage("Comm\\Frame_Left.png").convertToFormat(QImage::Format_ARGB32);
    ASSERT_FALSE(left.isNull());
    // Column 15 touches the window, column 0 is the outer edge.
    EXPECT_GT(qAlpha(left.pixel(15, 300)), qAlpha(left.pixel(8, 300)));
    EXPECT_GT(qAlpha(left.pixel(8, 300)), qAlpha(left.pixel(1, 300)));
    EXPECT_EQ(qAlpha(left.pixel(0, 300)), 0);
}

TEST(Skin, OverrideFolderAndBackslashNames) {
    test::TempDir dir;
    const QString root = QString::fromStdString(dir.path());
    setSkinRoot(root);
    EXPECT_EQ(skinPath("Msg\\Button.png"), root + "/Msg/Button.png");
    EXPECT_TRUE(loadSkinImage("Msg\\Button.png").isNull());
    setSkinRoot({});
    EXPECT_EQ(skinPath("Msg\\Button.png"),
              QCoreApplication::applicationDirPath() + "/SkinRes/Msg/Button.png");
}

TEST(Skin, ColourNotations) {
    EXPECT_EQ(colorref(0x318EEE), QColor(0xEE, 0x8E, 0x31));
    EXPECT_EQ(colorref(0x423D3E), QColor(0x3E, 0x3D, 0x42));
    EXPECT_EQ(argb(0xFFF19410), QColor(0xF1, 0x94, 0x10));
}

}  // namespace
}  // namespace zorvex::ui
