#include "ui/windows/left_menu_dlg.h"

#include <gtest/gtest.h>

#include <QAccessible>
#include <QCoreApplication>
#include <QMouseEvent>
#include <QtTest/QTest>

#include <vector>

#include "qt_test_env.h"
#include "ui/toolkit/kbc_button.h"
#include "ui/toolkit/key_target.h"

namespace zorvex::ui {
namespace {

using L = CLeftMenuDlg;

class LeftMenuTest : public ::testing::Test {
protected:
    void SetUp() override {
        menu_.resize(L::kWidth, 630);
        menu_.Layout();
        QObject::connect(&menu_, &L::viewRequested, [this](int code) { sent_.push_back(code); });
    }

    int marks() const {
        return int(menu_.button(L::IdFly)->checked()) +
               int(menu_.button(L::IdSettings)->checked()) + int(menu_.convertSelected());
    }
    void releaseOnConvert() { test::release(menu_, L::kConvertRect.center()); }

    // Whether the menu keeps a press at y, or leaves it to the main window.
    bool keepsPress(int y) {
        const QPointF at(80, y);
        QMouseEvent press(QEvent::MouseButtonPress, at, at, menu_.mapToGlobal(at), Qt::LeftButton,
                          Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(&menu_, &press);
        return press.isAccepted();
    }

    L menu_{nullptr};
    std::vector<int> sent_;
};

TEST_F(LeftMenuTest, ExactlyOneEntryIsMarkedAndTheMarkedOneSendsNothing) {
    EXPECT_EQ(menu_.marked(), L::MenuLibrary);
    EXPECT_EQ(marks(), 1);

    test::click(*menu_.button(L::IdFly));  // marked already
    EXPECT_TRUE(sent_.empty());

    test::click(*menu_.button(L::IdSettings));
    EXPECT_EQ(menu_.marked(), L::MenuSettings);
    EXPECT_EQ(marks(), 1);
    test::click(*menu_.button(L::IdSettings));
    EXPECT_EQ(sent_, std::vector<int>{L::MenuSettings});

    releaseOnConvert();
    EXPECT_EQ(menu_.marked(), L::MenuConvert);
    EXPECT_EQ(marks(), 1);
    releaseOnConvert();
    EXPECT_EQ(sent_, (std::vector<int>{L::MenuSettings, L::MenuConvert}));

    test::click(*menu_.button(L::IdFly));
    EXPECT_EQ(menu_.marked(), L::MenuLibrary);
    EXPECT_EQ(marks(), 1);
    EXPECT_EQ(sent_, (std::vector<int>{L::MenuSettings, L::MenuConvert, L::MenuLibrary}));

    // "转码" is painted by the menu; the keyboard and screen readers reach it all the same.
    QAccessibleInterface* convert = QAccessible::queryAccessibleInterface(menu_.convertTarget());
    EXPECT_EQ(convert->role(), QAccessible::PageTab);
    EXPECT_EQ(convert->text(QAccessible::Name), QStringLiteral("转码"));
    QTest::keyClick(menu_.convertTarget(), Qt::Key_Space);
    EXPECT_EQ(menu_.marked(), L::MenuConvert);
    EXPECT_TRUE(convert->state().checked);
    EXPECT_FALSE(QAccessible::queryAccessibleInterface(menu_.button(L::IdFly))->state().checked);
}

TEST_F(LeftMenuTest, OnlyTheReleaseChoosesTheConversionEntry) {
    // Pressed elsewhere, released on the entry: chosen.
    test::press(menu_, QPoint(80, 20));
    releaseOnConvert();
    EXPECT_EQ(sent_, std::vector<int>{L::MenuConvert});
    // Pressed on the entry, released beside it: nothing.
    test::click(*menu_.button(L::IdFly));
    sent_.clear();
    test::press(menu_, L::kConvertRect.center());
    test::release(menu_, QPoint(80, 300));
    EXPECT_TRUE(sent_.empty());
    EXPECT_EQ(menu_.marked(), L::MenuLibrary);

    test::moveMouse(menu_, L::kConvertRect.center());
    EXPECT_TRUE(menu_.convertHovered());
    test::moveMouse(menu_, QPoint(80, 20));
    EXPECT_FALSE(menu_.convertHovered());
}

TEST_F(LeftMenuTest, PressesBelowTheEntriesAreLeftToTheMainWindowToDrag) {
    EXPECT_TRUE(keepsPress(20)) << "the logo does not drag";
    EXPECT_TRUE(keepsPress(195));
    EXPECT_FALSE(keepsPress(196));
    EXPECT_FALSE(keepsPress(400));
    EXPECT_FALSE(keepsPress(630 - 36));
    EXPECT_TRUE(keepsPress(630 - 35)) << "nor the bottom 35 pixels";
}

}  // namespace
}  // namespace zorvex::ui
