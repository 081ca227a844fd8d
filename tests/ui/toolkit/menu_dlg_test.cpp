#include "ui/toolkit/menu_dlg.h"

#include <gtest/gtest.h>

#include "qt_test_env.h"

namespace zorvex::ui {
namespace {

const QColor kHighlight(0xEE, 0x8E, 0x31);

class MenuDlgTest : public ::testing::Test {
protected:
    MenuDlgTest() : menu(2, nullptr) {
        menu.SetTexts({"192.168.1.23", "10.0.0.8", "127.0.0.1"});
        menu.resize(126, 22 * 3);
        menu.SetCurrent("10.0.0.8");
        menu.Rebuild();
        menu.show();
    }
    CMenuDlg menu;
};

TEST_F(MenuDlgTest, RowsAreTwentyTwoPixelsWithTheirHitRectangles) {
    ASSERT_EQ(menu.items().size(), 3u);
    EXPECT_EQ(menu.items()[2].rect, QRect(0, 44, 125, 22));
    EXPECT_EQ(menu.items()[2].text, "127.0.0.1");
    EXPECT_EQ(menu.items()[2].chosen, 0);
}

TEST_F(MenuDlgTest, HighlightCoversExactlyTheHoveredRow) {
    test::moveMouse(menu, {60, 30});
    EXPECT_EQ(menu.hoverIndex(), 2);
    const QImage image = test::grab(menu);
    EXPECT_FALSE(test::sameColour(image.pixel(60, 21), kHighlight));
    EXPECT_TRUE(test::sameColour(image.pixel(60, 22), kHighlight));
    EXPECT_TRUE(test::sameColour(image.pixel(122, 43), kHighlight));
    EXPECT_FALSE(test::sameColour(image.pixel(60, 44), kHighlight));
    test::leave(menu);
    EXPECT_EQ(menu.hoverIndex(), 0);
}

TEST_F(MenuDlgTest, ChoiceReportsTheTextMovesTheCheckAndHides) {
    auto checkShownOnRow = [&](int row) {
        // The check image sits at (2, 22 * row + 5), 12 x 12, in the light strip.
        const QImage image = test::grab(menu);
        const QRect cell(2, 22 * row + 5, 12, 12);
        return !test::inkBox(image.copy(cell), QColor(0xE9, 0xE9, 0xE9)).isEmpty();
    };
    EXPECT_TRUE(checkShownOnRow(1));
    EXPECT_FALSE(checkShownOnRow(2));

    QStringList reported;
    QObject::connect(&menu, &CMenuDlg::itemChosen, [&](const QString& text) {
        EXPECT_TRUE(menu.isHidden()) << "hidden before it reports";
        reported << text;
    });
    test::release(menu, {125, 50});  // one pixel right of every row
    EXPECT_TRUE(reported.isEmpty());
    EXPECT_TRUE(menu.isVisible());

    test::release(menu, {40, 50});
    EXPECT_EQ(reported, QStringList{"127.0.0.1"});
    EXPECT_EQ(menu.current(), "127.0.0.1");
    EXPECT_EQ(menu.chosen(), "127.0.0.1");
    EXPECT_EQ(menu.items()[2].chosen, 1);
    EXPECT_TRUE(checkShownOnRow(2));
    EXPECT_FALSE(checkShownOnRow(1));
}

TEST_F(MenuDlgTest, CurrentMatchesCaseSensitively) {
    menu.SetCurrent("10.0.0.8 ");
    const QImage image = test::grab(menu);
    EXPECT_TRUE(test::inkBox(image.copy(2, 27, 12, 12), QColor(0xE9, 0xE9, 0xE9)).isEmpty());
}

}  // namespace
}  // namespace zorvex::ui
