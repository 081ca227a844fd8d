#include "ui/windows/video_wnd_list.h"

#include <gtest/gtest.h>

#include <optional>

#include <QAccessible>
#include <QApplication>
#include <QDir>
#include <QDropEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QRegularExpression>
#include <QScrollBar>
#include <QStandardPaths>
#include <QTimer>
#include <QUrl>
#include <QWheelEvent>
#include <QtTest/QTest>

#include "../../transcode/media_fixtures.h"
#include "qt_test_env.h"
#include "ui/toolkit/focus_ring.h"
#include "ui/toolkit/gif_image.h"
#include "ui/toolkit/kbc_button.h"
#include "ui/toolkit/notify_msg_dlg.h"
#include "ui/windows/video_wnd_dlg.h"
#include "view_fixture.h"

namespace zorvex::ui {
namespace {

class CardGrid : public test::ViewFixture {
protected:
    void SetUp() override {
        list = std::make_unique<CVideoWndList>(*session, nullptr);
        list->resize(kWidth, kHeight);
        auto toast = [this](int code) { toasts.push_back(code); };
        QObject::connect(session.get(), &CoreSession::toast, toast);
        QObject::connect(list.get(), &CVideoWndList::toastRequested, toast);
        QObject::connect(session.get(), &CoreSession::selectionLooks,
                         [this](const SelectionView& l) {
                             looks = l;
                             ++looksSent;
                         });
        QObject::connect(list.get(), &CVideoWndList::selectionChanged, [this] { ++selections; });
        QObject::connect(list.get(), &CVideoWndList::deleteRequested, [this] { ++deletions; });
        list->show();
    }

    // Cards for files that do not exist: examined at once, as missing.
    int absentAdded_ = 0;  // every absent file has a name of its own

    void addAbsent(int count) {
        std::vector<std::string> paths;
        for (int i = 0; i < count; ++i) {
            paths.push_back(videos.file(std::to_string(absentAdded_++) + ".mp4"));
        }
        kit->library().AddByDialog(paths);
    }

    bool allExamined() const {
        for (const auto& item : kit->library().items())
            if (!item.card->examined()) return false;
        return !kit->library().examining();
    }

    void drop(const std::vector<std::string>& paths) {
        QMimeData data;
        QList<QUrl> urls;
        for (const auto& path : paths)
            urls.push_back(QUrl::fromLocalFile(QString::fromStdString(path)));
        data.setUrls(urls);  // text/uri-list with file:// URLs
        // As the desktop delivers it: the drop goes where the drag was accepted.
        QDragEnterEvent enter(QPoint(100, 100), Qt::CopyAction, &data, Qt::LeftButton,
                              Qt::NoModifier);
        QCoreApplication::sendEvent(list->viewport(), &enter);
        ASSERT_TRUE(enter.isAccepted());
        QDropEvent event(QPointF(100, 100), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(list->viewport(), &event);
    }

    void wheel(int delta) {
        const QPointF at(50, 50);
        QWheelEvent event(at, list->viewport()->mapToGlobal(at), QPoint(), QPoint(0, delta),
                          Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(list->viewport(), &event);
    }

    void key(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QKeyEvent event(QEvent::KeyPress, key, modifiers);
        QCoreApplication::sendEvent(list.get(), &event);
    }

    QImage viewport() { return test::grab(*list->viewport()); }

    std::vector<int> toasts;
    std::optional<SelectionView> looks;
    int looksSent = 0;
    int selections = 0, deletions = 0;
    std::unique_ptr<CVideoWndList> list;
};

TEST_F(CardGrid, EmptyPictureAndButtonGiveWayToTheGrid) {
    const QColor background(242, 243, 243);
    ASSERT_EQ(list->cardCount(), 0);
    EXPECT_TRUE(list->addButton()->isVisible());
    EXPECT_EQ(list->addButton()->geometry(), QRect(kWidth / 2 + 5, kHeight / 2 + 66, 64, 30));
    EXPECT_EQ(list->pictureRect(), QRect(kWidth / 2 - 190, kHeight / 2 - 120, 380, 240));
    const QRect ink = test::inkBox(viewport(), background, 8);
    EXPECT_TRUE(list->pictureRect().contains(ink)) << "nothing drawn outside the picture";
    EXPECT_GT(ink.width(), 200);

    addAbsent(6);
    EXPECT_FALSE(list->addButton()->isVisible());
    ASSERT_EQ(list->cardCount(), 6);
    EXPECT_EQ(list->cardAt(0)->geometry(), QRect(14, 18, 144, 116));
    EXPECT_EQ(list->cardAt(4)->pos(), QPoint(14 + 4 * 158, 18));
    EXPECT_EQ(list->cardAt(5)->pos(), QPoint(14, 142));
    const QImage grid = viewport();
    EXPECT_TRUE(test::sameColour(grid.pixel(kWidth / 2, kHeight / 2), background))
        << "the picture is gone";
}

TEST_F(CardGrid, ScrollRangeByRowPitchWheelAndKeys) {
    addAbsent(19);
    EXPECT_EQ(list->scrollMaximum(), kHeight);
    EXPECT_EQ(list->scrollPage(), kHeight);
    EXPECT_FALSE(list->verticalScrollBar()->isVisible());
    addAbsent(1);  // 20: four rows, 124 x 4 + 28 = 524, still inside 526
    EXPECT_EQ(list->scrollMaximum(), kHeight);
    addAbsent(1);  // 21: five rows
    EXPECT_EQ(list->scrollMaximum(), 124 * 5 + 28);
    EXPECT_EQ(list->largestPosition(), 124 * 5 + 28 - kHeight + 1);

    EXPECT_EQ(list->scrollPosition(), 1);
    wheel(-240);  // a fast wheel still moves one line
    EXPECT_EQ(list->scrollPosition(), 26);
    EXPECT_EQ(list->cardAt(0)->y(), 18 - 25);
    wheel(120);
    EXPECT_EQ(list->scrollPosition(), 1);
    wheel(-60);  // half a notch of a fine wheel: nothing yet
    EXPECT_EQ(list->scrollPosition(), 1);
    wheel(-60);
    EXPECT_EQ(list->scrollPosition(), 26);

    key(Qt::Key_End);
    EXPECT_EQ(list->scrollPosition(), list->largestPosition());
    const int last = list->cardCount() - 1;
    EXPECT_EQ(list->cardAt(last)->geometry().bottom() + 1 + 18, kHeight)
        << "the last row ends 18 pixels above the bottom, as the first starts below the top";
    key(Qt::Key_Home);
    EXPECT_EQ(list->scrollPosition(), 1);
    key(Qt::Key_Down);
    EXPECT_EQ(list->scrollPosition(), 26);
    key(Qt::Key_PageDown);
    EXPECT_EQ(list->scrollPosition(), list->largestPosition()) << "clamped";
    key(Qt::Key_Up);
    EXPECT_EQ(list->scrollPosition(), list->largestPosition() - 25);

    // A change of the library keeps the position; a smaller one clamps it.
    const int kept = list->scrollPosition();
    addAbsent(5);
    EXPECT_EQ(list->scrollPosition(), kept);
    EXPECT_EQ(list->cardAt(0)->y(), 18 - (kept - 1));
    ASSERT_TRUE(pump([&] { return allExamined(); }));
    kit->library().SetAllChecked(true);
    kit->library().DeleteItems();
    EXPECT_EQ(list->cardCount(), 0);
    EXPECT_EQ(list->scrollPosition(), 1);
    EXPECT_TRUE(list->addButton()->isVisible());
    QCoreApplication::processEvents();  // the scroll bar hides, the client widens
    EXPECT_EQ(list->addButton()->pos(), QPoint(kWidth / 2 + 5, kHeight / 2 + 66));
}

TEST_F(CardGrid, DropsOfFilesAndFolders) {
    const auto& media = test::mediaFixtures();
    std::string wrongCase = copyClip(media.shortClip, "clip.Mp4");
    std::string good = copyClip(media.shortClip, "片段 一.MP4");
    drop({wrongCase, good});
    ASSERT_TRUE(pump([&] { return list->diskJobs() == 0; }));
    EXPECT_EQ(toasts, (std::vector<int>{TOAST_NOT_VIDEO}));
    ASSERT_EQ(list->cardCount(), 1);
    EXPECT_EQ(kit->library().items()[0].path, good) << "the non-ASCII name came through the URL";

    // A folder adds the videos directly inside it, in name order.
    copyClip(media.shortClip, "folder/b 10.avi");
    copyClip(media.shortClip, "folder/b 9.mkv");
    copyClip(media.shortClip, "folder/a.mov");
    test::TempDir::writeTo(videos.file("folder/notes.txt"), "x");
    copyClip(media.shortClip, "folder/inner/deeper.mp4");
    test::TempDir::writeTo(videos.file("nothing/notes.txt"), "x");
    toasts.clear();
    drop({videos.file("folder"), videos.file("nothing")});
    ASSERT_TRUE(pump([&] { return list->diskJobs() == 0; }));
    auto items = kit->library().items();
    ASSERT_EQ(items.size(), 4u);
    EXPECT_EQ(items[1].name, "a.mov");
    EXPECT_EQ(items[2].name, "b 9.mkv");
    EXPECT_EQ(items[3].name, "b 10.avi");
    EXPECT_EQ(toasts, (std::vector<int>{TOAST_NOT_VIDEO})) << "the folder without videos";
    ASSERT_TRUE(pump([&] { return allExamined(); }));

    // The tooltip names the whole file and what it holds.
    const QString tip = list->cardAt(3)->toolTip();
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^b 10\\.avi\n时长 0:01 · \\d+ KB · 320×240$"))
                    .match(tip)
                    .hasMatch())
        << tip.toStdString();
}

TEST_F(CardGrid, ClickBeforeExaminationChangesNothing) {
    kit->library().setClosing();  // no examination will run
    addAbsent(1);
    CVideoWndDlg* card = list->cardAt(0);
    ASSERT_FALSE(card->view().examined);
    test::click(*card);
    EXPECT_FALSE(card->view().checked);
    EXPECT_EQ(selections, 0);
    EXPECT_FALSE(looks);
}

TEST_F(CardGrid, ACardNotYetExaminedShowsTheNameItWasAddedUnder) {
    kit->library().setClosing();  // no examination will run
    kit->library().AddByDialog({videos.file("holiday_in_rome.mp4")});
    ASSERT_EQ(list->cardCount(), 1);
    EXPECT_EQ(list->cardAt(0)->view().name, "holiday_in_rome.mp4");
    EXPECT_EQ(list->cardAt(0)->shownName(), QStringLiteral("holiday...e.mp4"));
    kit->library().AddByDialog({videos.file("这是一个非常非常长的中文视频文件名称.mp4")});
    const QString shown = list->cardAt(1)->shownName();
    EXPECT_TRUE(shown.endsWith(QStringLiteral("...称.mp4"))) << shown.toStdString();
    EXPECT_LE(QFontMetrics(skinFont(12)).horizontalAdvance(shown), 119) << shown.toStdString();
    EXPECT_FALSE(list->cardAt(0)->view().notShared) << "not refused, only not examined";
    EXPECT_FALSE(session->card("{00000000-0000-0000-0000-000000000000}"));
}

TEST_F(CardGrid, ClicksAndKeysSelect) {
    addAbsent(2);
    ASSERT_TRUE(pump([&] { return allExamined(); }));
    test::click(*list->cardAt(1));
    EXPECT_TRUE(list->cardAt(1)->view().checked);
    EXPECT_EQ(selections, 1);
    ASSERT_TRUE(looks);
    EXPECT_FALSE(looks->convert) << "a missing card cannot be converted";
    EXPECT_TRUE(looks->actions);
    EXPECT_FALSE(list->AllChecked());
    key(Qt::Key_Delete);
    EXPECT_EQ(deletions, 1);
    key(Qt::Key_A, Qt::ControlModifier);
    EXPECT_TRUE(list->AllChecked());
    EXPECT_EQ(selections, 2);
    // Each command is one change of the looks, sent once and only when they change.
    EXPECT_EQ(looksSent, 2);
    QCoreApplication::processEvents();
    key(Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(looksSent, 2);
    list->SetAllChecked(false);
    key(Qt::Key_Delete);
    EXPECT_EQ(deletions, 1) << "nothing checked, nothing to ask";
}

TEST_F(CardGrid, KeyboardAndScreenReadersReachTheCards) {
    addAbsent(13);  // rows of 5, 5 and 3
    ASSERT_TRUE(pump([&] { return allExamined(); }));
    list->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(list.get()));
    list->setFocus(Qt::MouseFocusReason);
    auto focused = [&] { return QApplication::focusWidget(); };
    auto keys = [&](std::initializer_list<Qt::Key> pressed) {
        for (Qt::Key k : pressed) QTest::keyClick(focused(), k);
        return focused();
    };

    QTest::keyClick(list.get(), Qt::Key_Tab);
    ASSERT_EQ(focused(), list->cardAt(0));
    EXPECT_TRUE(test::sameColour(viewport().pixel(11, 15), FocusRing::Accent())) << "around it";
    EXPECT_EQ(keys({Qt::Key_Right, Qt::Key_Down}), list->cardAt(6)) << "down keeps the column";
    EXPECT_EQ(keys({Qt::Key_Up, Qt::Key_Left}), list->cardAt(0));
    EXPECT_EQ(keys({Qt::Key_Down, Qt::Key_Right, Qt::Key_Right, Qt::Key_Right, Qt::Key_Down}),
              list->cardAt(12))
        << "down into the shorter last row lands on its last card";
    EXPECT_EQ(keys({Qt::Key_Home}), list->cardAt(0));
    EXPECT_EQ(keys({Qt::Key_End}), list->cardAt(12));
    EXPECT_EQ(keys({Qt::Key_PageUp}), list->cardAt(2)) << "a page holds four rows";
    EXPECT_EQ(keys({Qt::Key_PageDown}), list->cardAt(12));
    // A click makes its card the one Tab comes back to.
    test::click(*list->cardAt(1));
    test::click(*list->cardAt(1));
    ASSERT_EQ(focused(), list.get());
    QTest::keyClick(list.get(), Qt::Key_Tab);
    EXPECT_EQ(focused(), list->cardAt(1));

    QTest::keyClick(focused(), Qt::Key_Space);
    EXPECT_TRUE(list->cardAt(1)->view().checked);
    EXPECT_EQ(selections, 3);
    EXPECT_EQ(focused(), list->cardAt(1)) << "toggled from the keyboard, the card keeps the focus";
    QAccessibleInterface* card = QAccessible::queryAccessibleInterface(list->cardAt(1));
    EXPECT_EQ(card->role(), QAccessible::CheckBox);
    EXPECT_TRUE(card->state().checked);
    EXPECT_EQ(card->text(QAccessible::Name), QStringLiteral("1.mp4，视频已丢失"));
    card->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
    EXPECT_FALSE(card->state().checked);

    // The focused card deleted, the focus stays in the grid at its place.
    keys({Qt::Key_End, Qt::Key_Space});
    session->deleteItems(false);
    ASSERT_TRUE(pump([&] { return list->cardCount() == 12; }));
    EXPECT_EQ(focused(), list->cardAt(11));

    const QPoint eleventh = list->cardAt(11)->pos() - QPoint(3, 3);  // the ring, around it
    ASSERT_TRUE(test::sameColour(viewport().pixel(eleventh), FocusRing::Accent()));
    test::click(*list->cardAt(3));
    EXPECT_FALSE(test::sameColour(viewport().pixel(eleventh), FocusRing::Accent()))
        << "a click takes the ring away";
}

TEST_F(CardGrid, BadgesByKind) {
    // Cards 1 and 2 are videos, the others missing; each look is drawn as given.
    std::vector<std::string> paths;
    for (int i = 0; i < 6; ++i) {
        const std::string name = std::to_string(i) + ".mp4";
        paths.push_back(i == 1 || i == 2 ? copyClip(test::mediaFixtures().shortClip, name)
                                         : videos.file(name));
    }
    kit->library().AddByDialog(paths);
    auto items = kit->library().items();
    // Nothing more comes from the core to redraw a card given its look.
    ASSERT_TRUE(pump([&] {
        return allExamined() && list->cardAt(1)->view().thumbUsable &&
               list->cardAt(2)->view().thumbUsable && list->diskJobs() == 0;
    }));
    auto give = [&](int card, CardLook look, bool checked = false) {
        CardView view = list->cardAt(card)->view();
        view.look = look;
        view.checked = checked;
        list->cardAt(card)->SetView(view);
    };
    give(1, CardLook::Waiting);
    give(2, CardLook::Converting);
    give(3, CardLook::Plain);
    give(4, CardLook::Interrupted);
    give(5, CardLook::Converted, true);

    const SkinImage waiting = SkinImage::load("FP\\Con_Wait.png");
    const SkinImage converted = SkinImage::load("FP\\Coned.png");
    const SkinImage placeholder = SkinImage::load("FP\\NoVideoSrc.png");
    const SkinImage check = SkinImage::load("FP\\Check.png");
    const QPoint badge(86 + 3, 64 + 8);  // in the badge, left of its label
    auto at = [&](int card, QPoint p) { return test::grab(*list->cardAt(card)).pixel(p); };
    auto art = [](const SkinImage& image, QPoint p) { return QColor(image.image().pixel(p)); };

    EXPECT_TRUE(test::sameColour(at(1, badge), art(waiting, {3, 8})));
    EXPECT_TRUE(test::sameColour(at(5, badge), art(converted, {3, 8})));
    EXPECT_TRUE(test::sameColour(at(3, badge), art(placeholder, {78 + 3, 56 + 8})))
        << "a plain card has no badge";
    EXPECT_TRUE(test::sameColour(at(4, badge), art(placeholder, {78 + 3, 56 + 8})))
        << "nor an interrupted one";
    EXPECT_FALSE(test::sameColour(at(0, {20, 20}), art(placeholder, {12, 12})))
        << "the missing card is covered by the lost overlay";
    ASSERT_NE(list->cardAt(2)->animation(), nullptr);
    EXPECT_TRUE(list->cardAt(2)->animation()->isVisible());
    EXPECT_TRUE(list->cardAt(2)->animation()->animating());
    EXPECT_EQ(list->cardAt(2)->animation()->geometry(), QRect(86, 64, 50, 16));
    EXPECT_TRUE(test::sameColour(at(5, {11, 95}), art(check, {3, 28 + 3}))) << "checked cell";
    EXPECT_TRUE(test::sameColour(at(1, {11, 95}), art(check, {3, 3}))) << "unchecked cell";
    EXPECT_FALSE(test::sameColour(at(5, {11, 95}), art(check, {3, 3})));

    // Converting ends: the card's next look, read from its (absent) task, has no animation.
    kit->library().OnTaskChanged(paths[2]);
    EXPECT_FALSE(list->cardAt(2)->animation()->isVisible());
    EXPECT_FALSE(list->cardAt(2)->animation()->animating());

    // A finished conversion turns its source plain again: its animation goes too.
    give(2, CardLook::Converting);
    ASSERT_TRUE(list->cardAt(2)->animation()->isVisible());
    const std::string output = kit->convertFolder() + "/" + items[2].name;
    kit->library().OnConverted(paths[2], output);
    EXPECT_EQ(list->cardAt(3)->view().path, output);
    // Screen readers meet the new card in its place, not last as it was made.
    QAccessibleInterface* grid = QAccessible::queryAccessibleInterface(list->viewport());
    auto place = [&](int i) {
        return grid->indexOfChild(QAccessible::queryAccessibleInterface(list->cardAt(i)));
    };
    EXPECT_LT(place(3), place(4));
    EXPECT_FALSE(list->cardAt(2)->animation()->isVisible());

    // Also while another view is showing: back on the cards, no stale badge.
    give(1, CardLook::Converting);
    list->hide();
    kit->library().OnTaskChanged(paths[1]);
    list->show();
    ASSERT_NE(list->cardAt(1)->animation(), nullptr);
    EXPECT_FALSE(list->cardAt(1)->animation()->isVisible());
    EXPECT_FALSE(list->cardAt(1)->animation()->animating());
}

TEST_F(CardGrid, AddButtonOpensTheFileDialog) {
    const auto& media = test::mediaFixtures();
    std::string a = copyClip(media.shortClip, "a.mp4");
    std::string b = copyClip(media.shortClip, "b.MKV");
    test::click(*list->addButton());
    QFileDialog* dialog = list->fileDialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->windowTitle(), QStringLiteral("请选择需要转换文件"));
    EXPECT_EQ(dialog->fileMode(), QFileDialog::ExistingFiles);
    EXPECT_EQ(dialog->nameFilters(), QStringList{CVideoWndList::dialogFilter()});
    // The first dialog opens where videos live, not in the working folder.
    const QString opened = dialog->directory().absolutePath();
    EXPECT_TRUE(opened == QDir::homePath() ||
                opened == QStandardPaths::writableLocation(QStandardPaths::MoviesLocation))
        << opened.toStdString();
    dialog->setDirectory(QString::fromStdString(videos.path()));
    dialog->selectFile("\"a.mp4\" \"b.MKV\"");
    static_cast<QDialog*>(dialog)->accept();  // QFileDialog::accept, which checks the files
    auto items = kit->library().items();
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0].path, a);
    EXPECT_EQ(items[1].path, b);
    ASSERT_TRUE(pump([&] { return list->fileDialog() == nullptr && allExamined(); }));
}

TEST_F(CardGrid, DuplicateNameIsAskedInTheConfirmationDialog) {
    std::string clip = copyClip(test::mediaFixtures().shortClip, "a.avi");
    list->AddDropped({clip});
    ASSERT_TRUE(pump([&] { return list->cardCount() == 1 && allExamined(); }));
    test::TempDir::writeTo(kit->convertFolder() + "/a.mp4", "an earlier conversion");
    list->SetAllChecked(true);
    QString asked;
    QTimer::singleShot(0, [&] {
        auto* question = qobject_cast<CNotifyMsgDlg*>(QApplication::activeModalWidget());
        ASSERT_NE(question, nullptr);
        asked = question->body();
        EXPECT_EQ(question->type(), 4);
        test::click(*question->button(CNotifyMsgDlg::IdContinue));
    });
    list->QueueConversion();
    EXPECT_EQ(asked, QStringLiteral("发现《a.mp4》同名文件，点击继续将保存为两个文件"));
    ASSERT_EQ(kit->queue().tasks().size(), 1u);
    EXPECT_EQ(kit->queue().tasks()[0].item.VideoName, "a(1).mp4");
    kit->queue().StopAll(true);
}

}  // namespace
}  // namespace zorvex::ui
