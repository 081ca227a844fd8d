#include "ui/toolkit/client_frame_dlg.h"

#include <gtest/gtest.h>

#include <QApplication>

#include "qt_test_env.h"
#include "support/test_support.h"
#include "ui/toolkit/frame_strips.h"
#include "ui/toolkit/skin.h"

namespace zorvex::ui {
namespace {

class ClientFrameDlgTest : public ::testing::Test {
protected:
    void SetUp() override { setSkinRoot(QString::fromStdString(dir_.path())); }
    void TearDown() override { setSkinRoot({}); }
    QString file(const char* name) { return QString::fromStdString(dir_.file(name)); }

    test::TempDir dir_;
};

TEST_F(ClientFrameDlgTest, PieceSqueezesTheFixedSourceRectangleAtReducedOpacity) {
    // Upper half red, lower half blue, and rows past 630 green that no piece may show.
    test::writeCells(file("Comm/Frame_Left.png"), {16, 315},
                     {QColor(255, 0, 0), QColor(0, 0, 255), QColor(0, 255, 0)});
    QWidget owner;
    CClientFrameDlg piece(&owner, CClientFrameDlg::Left);
    piece.resize(16, 300);
    const QImage image = test::grab(piece);
    const QRgb upper = image.pixel(8, 60), lower = image.pixel(8, 240), last = image.pixel(8, 299);
    EXPECT_NEAR(qAlpha(upper), 200, 2);
    EXPECT_GT(qRed(upper), 190);
    EXPECT_GT(qBlue(lower), 190);
    EXPECT_LT(qGreen(last), 20) << "nothing below row 630 of the image";
}

TEST_F(ClientFrameDlgTest, MissingImageShowsNothing) {
    QWidget owner;
    CClientFrameDlg piece(&owner, CClientFrameDlg::Top);
    piece.resize(476, 16);
    const QImage image = test::grab(piece);
    for (int x = 0; x < image.width(); x += 25) EXPECT_EQ(qAlpha(image.pixel(x, 8)), 0) << x;
}

TEST(FrameStrips, PlacementOfTheThreeOwners) {
    const QRect client(100, 50, 972, 630);
    const auto main = FrameStrips::placement(client, FrameStrips::kMainWindow);
    EXPECT_EQ(main[0], QRect(84, 50, 16, 630));
    EXPECT_EQ(main[1], QRect(84, 34, 1004, 16));
    EXPECT_EQ(main[2], QRect(1072, 50, 16, 630));
    EXPECT_EQ(main[3], QRect(84, 680, 1004, 16));

    const QRect dialog(200, 100, 460, 300);
    const auto confirm = FrameStrips::placement(dialog, FrameStrips::kConfirmation);
    EXPECT_EQ(confirm[0], QRect(184, 100, 16, 300));
    EXPECT_EQ(confirm[1], QRect(192, 84, 476, 16));
    EXPECT_EQ(confirm[2], QRect(660, 100, 16, 300));
    EXPECT_EQ(confirm[3], QRect(192, 400, 476, 16));
    EXPECT_EQ(
        FrameStrips::placement(QRect(0, 0, 460, 310), FrameStrips::kUpdateDownload)[0].height(),
        310);
}

TEST(FrameStrips, PiecesFollowTheOwnerAndNeverTakeFocus) {
    QWidget owner;
    owner.resize(460, 300);
    owner.move(200, 150);
    FrameStrips strips(&owner, FrameStrips::kConfirmation);
    owner.show();
    owner.activateWindow();
    ASSERT_TRUE(test::waitUntil([&] {
        QCoreApplication::processEvents();
        return QApplication::activeWindow() == &owner;
    }));
    CClientFrameDlg* left = strips.piece(CClientFrameDlg::Left);
    ASSERT_NE(left, nullptr);
    EXPECT_TRUE(left->isVisible());
    EXPECT_EQ(left->focusPolicy(), Qt::NoFocus);
    EXPECT_TRUE(left->windowFlags().testFlag(Qt::WindowDoesNotAcceptFocus));
    EXPECT_TRUE(left->windowFlags().testFlag(Qt::WindowTransparentForInput));

    left->activateWindow();
    QCoreApplication::processEvents();
    EXPECT_EQ(QApplication::activeWindow(), &owner);
    EXPECT_FALSE(left->isActiveWindow());

    owner.move(260, 170);
    const QRect client(owner.mapToGlobal(QPoint(0, 0)), owner.size());
    const auto expected = FrameStrips::placement(client, FrameStrips::kConfirmation);
    EXPECT_TRUE(test::waitUntil([&] {
        QCoreApplication::processEvents();
        return left->geometry() == expected[0] &&
               strips.piece(CClientFrameDlg::Bottom)->geometry() == expected[3];
    }));

    owner.hide();
    EXPECT_FALSE(left->isVisible());
}

}  // namespace
}  // namespace zorvex::ui
