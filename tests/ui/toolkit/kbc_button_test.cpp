#include "ui/toolkit/kbc_button.h"

#include <gtest/gtest.h>

#include <QAccessible>
#include <QtTest/QTest>

#include <vector>

#include "qt_test_env.h"
#include "support/test_support.h"
#include "ui/toolkit/focus_ring.h"
#include "ui/toolkit/skin.h"

namespace zorvex::ui {
namespace {

using test::grab;
using test::sameColour;

const QColor kNormal(0xFF, 0x00, 0x00), kHover(0x00, 0xFF, 0x00), kPressed(0x00, 0x00, 0xFF),
    kInactive(0xFF, 0xFF, 0x00);
const QColor kBand(0xF8, 0xF8, 0xF8);

class KbcButtonTest : public ::testing::Test {
protected:
    // Four 40 x 20 cells in known colours: normal, hover, pressed, inactive.
    QString cells(QSize cell = {40, 20}) {
        return test::writeCells(QString::fromStdString(dir_.file("cells.png")), cell,
                                {kNormal, kHover, kPressed, kInactive});
    }
    QRgb centre(CKbcButton& b) { return grab(b).pixel(b.width() / 2, b.height() / 2); }

    test::TempDir dir_;
};

TEST_F(KbcButtonTest, PushButtonDrawsTheCellOfItsState) {
    CKbcButton b(7, CKbcButton::Mode::Push, nullptr);
    b.SetImage(cells(), {});
    b.SetSize(40, 20);
    EXPECT_TRUE(sameColour(grab(b).pixel(20, 10), kNormal));
    test::enter(b);
    EXPECT_TRUE(sameColour(grab(b).pixel(20, 10), kHover));
    test::press(b, {20, 10});
    EXPECT_TRUE(sameColour(grab(b).pixel(20, 10), kPressed)) << "pressed wins over hover";
    test::dragTo(b, {200, 10});
    EXPECT_TRUE(sameColour(grab(b).pixel(20, 10), kHover)) << "dragged off, no longer pressed";
    test::release(b, {200, 10});
    b.SetInactive(true);
    EXPECT_TRUE(sameColour(grab(b).pixel(20, 10), kInactive)) << "inactive wins over hover";
    test::leave(b);
    EXPECT_EQ(b.stateCell(), 3);
}

TEST_F(KbcButtonTest, CellLayoutsCutTheirOwnSourceRectangles) {
    // Layout 3 always cuts 90 x 30 cells, whatever the button's size.
    CKbcButton fixed(1, CKbcButton::Mode::Push, nullptr);
    fixed.SetImage(cells({90, 30}), {});
    fixed.SetSize(45, 15);
    fixed.SetLayout(3);
    test::enter(fixed);
    EXPECT_TRUE(sameColour(grab(fixed).pixel(22, 7), kHover));
    fixed.SetInactive(true);
    EXPECT_TRUE(sameColour(grab(fixed).pixel(22, 7), kInactive));

    // Layout 4 scales a given cell size into the button.
    CKbcButton scaled(2, CKbcButton::Mode::Push, nullptr);
    scaled.SetImage(cells({90, 30}), {});
    scaled.SetSize(70, 26);
    scaled.SetLayout(4);
    scaled.SetCellSize(90, 30);
    test::press(scaled, {5, 5});
    const QImage pressed = grab(scaled);
    EXPECT_TRUE(sameColour(pressed.pixel(2, 2), kPressed));
    EXPECT_TRUE(sameColour(pressed.pixel(67, 23), kPressed));

    // Layout 5 draws only the icon cell: normal, then cell 1 for hover and press alike.
    CKbcButton icon(3, CKbcButton::Mode::Push, nullptr);
    icon.SetImage(cells({16, 16}), {});
    icon.SetSize(86, 16);
    icon.SetLayout(5);
    icon.SetCellSize(16, 16);
    icon.SetBackground(CKbcButton::BackgroundPale);
    test::press(icon, {8, 8});
    const QImage image = grab(icon);
    EXPECT_TRUE(sameColour(image.pixel(8, 8), kHover));
    EXPECT_TRUE(sameColour(image.pixel(50, 2), QColor(0xF7, 0xF7, 0xF7)));
}

TEST_F(KbcButtonTest, CheckButtonShowsPressedCellAndNeverTogglesItself) {
    CKbcButton b(1048, CKbcButton::Mode::Check, nullptr);
    b.SetImage(cells(), {});
    b.SetSize(40, 20);
    int clicks = 0;
    QObject::connect(&b, &CKbcButton::clicked, [&](int id) {
        EXPECT_EQ(id, 1048);
        ++clicks;
    });
    EXPECT_TRUE(sameColour(centre(b), kNormal));
    test::enter(b);
    EXPECT_TRUE(sameColour(centre(b), kHover));
    test::press(b, {20, 10});
    EXPECT_TRUE(sameColour(centre(b), kPressed));
    test::release(b, {20, 10});
    EXPECT_EQ(clicks, 1);
    EXPECT_FALSE(b.checked()) << "the parent decides";
    b.SetCheck(true);
    test::leave(b);
    EXPECT_TRUE(sameColour(centre(b), kPressed));

    // A push button ignores SetCheck.
    CKbcButton push(1, CKbcButton::Mode::Push, nullptr);
    push.SetCheck(true);
    EXPECT_FALSE(push.checked());
}

TEST_F(KbcButtonTest, CheckGlyphLookDrawsFourteenPixelCellsWhileHeld) {
    CKbcButton b(1049, CKbcButton::Mode::Check, nullptr);
    b.SetImage(cells({14, 14}), QStringLiteral("彻底删除源文件"));
    b.SetSize(250, 18);
    b.SetBackground(CKbcButton::BackgroundPanel);
    QImage image = grab(b);
    EXPECT_TRUE(sameColour(image.pixel(8, 8), kNormal));
    EXPECT_TRUE(sameColour(image.pixel(1, 8), QColor(0xF2, 0xF3, 0xF3))) << "glyph starts at x 2";
    test::press(b, {8, 8});
    EXPECT_TRUE(sameColour(grab(b).pixel(8, 8), kPressed)) << "row 28 while held, though unchecked";
    const QRect ink = test::inkBox(grab(b).copy(20, 0, 230, 18), QColor(0xF2, 0xF3, 0xF3));
    EXPECT_FALSE(ink.isEmpty()) << "caption drawn beside the glyph";
}

TEST_F(KbcButtonTest, InactiveButtonSwallowsPressesUntilActiveAgain) {
    CKbcButton b(1002, CKbcButton::Mode::Push, nullptr);
    b.SetImage(cells(), QStringLiteral("转码"));
    b.SetSize(40, 20);
    int clicks = 0;
    QObject::connect(&b, &CKbcButton::clicked, [&](int) { ++clicks; });
    b.SetInactive(true);
    test::click(b);
    EXPECT_EQ(clicks, 0);
    EXPECT_FALSE(b.pressed());
    b.SetInactive(false);
    test::click(b);
    EXPECT_EQ(clicks, 1);
    // A release away from the button is no click.
    test::press(b, {5, 5});
    test::release(b, {100, 5});
    EXPECT_EQ(clicks, 1);
}

TEST_F(KbcButtonTest, LayoutSixCaptionsBySizeColourAndPlace) {
    const QColor panel(0xF2, 0xF3, 0xF3);
    CKbcButton quit(1054, CKbcButton::Mode::Push, nullptr);
    quit.SetImage({}, QStringLiteral("完全退出"));
    quit.SetSize(90, 30);
    quit.SetLayout(6);
    quit.SetBackground(CKbcButton::BackgroundPanelPlain);
    const QRect quitInk = test::inkBox(grab(quit), panel);
    EXPECT_NEAR(quitInk.center().x(), 45, 2);
    EXPECT_NEAR(quitInk.center().y(), 15, 2);

    CKbcButton top(1082, CKbcButton::Mode::Push, nullptr);
    top.SetImage({}, QStringLiteral("置顶"));
    top.SetSize(90, 30);
    top.SetLayout(6);
    top.SetBackground(CKbcButton::BackgroundPanel);
    const QRect topInk = test::inkBox(grab(top), panel);
    EXPECT_NEAR(topInk.center().y(), 18, 2) << "centred in a box 3 pixels lower";
    EXPECT_LT(topInk.height(), quitInk.height()) << "12 px against 14 px";

    // The ink's strongest colour: blue for 置顶 in every state, bright amber for a pressed
    // 完全退出.
    auto strongest = [&](CKbcButton& b) {
        const QImage image = grab(b);
        QRgb best = image.pixel(0, 0);
        int bestDistance = -1;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) {
                const QRgb p = image.pixel(x, y);
                const int d = std::abs(qRed(p) - 0xF2) + std::abs(qGreen(p) - 0xF3) +
                              std::abs(qBlue(p) - 0xF3);
                if (d > bestDistance) bestDistance = d, best = p;
            }
        return QColor(best);
    };
    test::enter(top);
    test::press(top, {45, 15});
    const QColor blue = strongest(top);
    EXPECT_GT(blue.blue(), blue.red() + 60);
    test::press(quit, {45, 15});
    const QColor amber = strongest(quit);
    EXPECT_TRUE(sameColour(amber.rgb(), QColor(0xFF, 0x7A, 0x10), 30))
        << amber.name().toStdString();
}

TEST_F(KbcButtonTest, CaptionsThatAreNeverDrawn) {
    CKbcButton empty(1, CKbcButton::Mode::Push, nullptr);
    empty.SetImage({}, {});
    empty.SetSize(64, 30);
    empty.SetBackground(CKbcButton::BackgroundLight);
    EXPECT_TRUE(test::inkBox(grab(empty), kBand).isEmpty());

    CKbcButton layoutOne(2, CKbcButton::Mode::Push, nullptr);
    layoutOne.SetImage({}, QStringLiteral("添加"));
    layoutOne.SetSize(64, 30);
    layoutOne.SetLayout(1);
    layoutOne.SetBackground(CKbcButton::BackgroundLight);
    EXPECT_TRUE(test::inkBox(grab(layoutOne), kBand).isEmpty());
}

TEST_F(KbcButtonTest, MissingImageDrawsOnlyTheBackground) {
    CKbcButton b(1, CKbcButton::Mode::Push, nullptr);
    b.SetImage(QString::fromStdString(dir_.file("nothing.png")), {});
    b.SetSize(64, 30);
    b.SetBackground(CKbcButton::BackgroundLight);
    test::enter(b);
    EXPECT_TRUE(test::inkBox(grab(b), kBand).isEmpty());

    // No size set: no cell to cut, so nothing of the image shows either.
    CKbcButton unsized(2, CKbcButton::Mode::Push, nullptr);
    unsized.SetImage(cells(), {});
    unsized.resize(40, 20);
    unsized.SetBackground(CKbcButton::BackgroundLight);
    EXPECT_TRUE(test::inkBox(grab(unsized), kBand).isEmpty());
}

TEST_F(KbcButtonTest, SetSizeKeepsTheTopLeftCorner) {
    QWidget parent;
    CKbcButton b(1, CKbcButton::Mode::Push, &parent);
    b.move(350, 252);
    b.SetSize(90, 30);
    EXPECT_EQ(b.geometry(), QRect(350, 252, 90, 30));
}

TEST_F(KbcButtonTest, KeyboardAndScreenReadersReachIt) {
    QWidget window;
    window.resize(200, 40);
    CKbcButton add(1, CKbcButton::Mode::Push, &window), close(2, CKbcButton::Mode::Push, &window),
        all(3, CKbcButton::Mode::Check, &window);
    int x = 0;
    std::vector<int> clicks;
    for (CKbcButton* b : {&add, &close, &all}) {
        b->SetImage(cells(), b == &add   ? QStringLiteral("添加")
                             : b == &all ? QStringLiteral("全选")
                                         : QString());
        b->SetSize(40, 20);
        b->move(x, 10);
        x += 50;
        QObject::connect(b, &CKbcButton::clicked, [&](int id) { clicks.push_back(id); });
    }
    close.setAccessibleName(QStringLiteral("关闭"));

    auto* a = QAccessible::queryAccessibleInterface(&add);
    EXPECT_EQ(a->role(), QAccessible::Button);
    EXPECT_EQ(a->text(QAccessible::Name), QStringLiteral("添加"));
    EXPECT_EQ(QAccessible::queryAccessibleInterface(&close)->text(QAccessible::Name),
              QStringLiteral("关闭"));
    auto* check = QAccessible::queryAccessibleInterface(&all);
    EXPECT_EQ(check->role(), QAccessible::CheckBox);
    all.SetCheck(true);
    EXPECT_TRUE(check->state().checked);
    add.SetInactive(true);
    EXPECT_TRUE(a->state().disabled);
    a->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    add.SetInactive(false);
    a->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_EQ(clicks, std::vector<int>{1}) << "an inactive button is not pressed";

    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    add.setFocus(Qt::ActiveWindowFocusReason);  // as a window gives it, without a key
    QTest::keyClick(&add, Qt::Key_Return);
    EXPECT_EQ(clicks.size(), 1u) << "Enter is the dialog's until the keyboard moved the focus";
    EXPECT_FALSE(sameColour(grab(add).pixel(0, 0), FocusRing::Accent()))
        << "no ring for the mouse user";

    const QImage plain = grab(window);
    QTest::keyClick(&add, Qt::Key_Tab);
    ASSERT_TRUE(close.hasFocus());
    const QImage ringed = grab(window);
    EXPECT_TRUE(sameColour(ringed.pixel(47, 7), FocusRing::Accent())) << "a pixel clear of it";
    EXPECT_TRUE(sameColour(ringed.pixel(92, 32), FocusRing::Accent()));
    EXPECT_EQ(ringed.copy(close.geometry()), plain.copy(close.geometry())) << "nothing covered";
    QTest::keyClick(&close, Qt::Key_Space);
    QTest::keyClick(&close, Qt::Key_Tab);
    QTest::keyClick(&all, Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_EQ(clicks, (std::vector<int>{1, 2, 3}));

    test::press(add, {20, 10});
    test::release(add, {20, 10});
    EXPECT_TRUE(all.hasFocus()) << "a click leaves the focus where it was";
    EXPECT_FALSE(FocusRing::Visible(&all)) << "but the ring goes with the mouse";
}

}  // namespace
}  // namespace zorvex::ui
