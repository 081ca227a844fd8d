#include "ui/windows/convert_list.h"

#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QDir>
#include <QWheelEvent>
#include <QtTest/QTest>

#include <sys/stat.h>

#include <filesystem>

#include "../../transcode/media_fixtures.h"
#include "media/media_probe.h"
#include "platform/file_util.h"
#include "qt_test_env.h"
#include "transcode/convert_list_file.h"
#include "ui/toolkit/disk_worker.h"
#include "ui/toolkit/kbc_button.h"
#include "ui/toolkit/my_progress_bar.h"
#include "ui/windows/convert_list_item_dlg.h"
#include "view_fixture.h"

namespace zorvex::ui {
namespace {

namespace fs = std::filesystem;

class ConversionRows : public test::ViewFixture {
protected:
    void SetUp() override {
        list = std::make_unique<CConvertList>(*session, nullptr);
        list->resize(kWidth, kHeight);
        list->show();
    }
    void TearDown() override {
        kit->queue().StopAll(true);
        list.reset();
    }

    // Tasks restored from the file: no job runs for them.
    void restore(const std::vector<int>& types, const std::string& thumbnail = "/no/such.jpg") {
        std::vector<ConvertListRecord> records;
        for (std::size_t i = 0; i < types.size(); ++i) {
            LISTITEM_ST item{"v" + std::to_string(i) + ".mp4",
                             "1610612736",
                             thumbnail,
                             "60000",
                             "1920",
                             "1080",
                             "/v/v" + std::to_string(i) + ".mp4",
                             {}};
            records.push_back({item, types[i]});
        }
        ASSERT_TRUE(SaveConvertList(home.file("ConvertList.xml"), records));
        kit->queue().LoadQueueFile();
    }

    std::string add(const std::string& path) {
        MediaProbeResult probe = ProbeMedia(path);
        return kit->queue().AddTask(fs::path(path).filename(), path, probe.fileSize,
                                    "/no/thumb.jpg", probe.duration, probe.width, probe.height);
    }

    std::unique_ptr<CConvertList> list;
};

TEST_F(ConversionRows, ScrollRangesFollowTheTaskCount) {
    restore({3, 3, 3, 3, 3});
    EXPECT_EQ(list->rowCount(), 5);
    EXPECT_EQ(list->scrollMaximum(), kHeight);
    restore({3});  // appended: six
    EXPECT_EQ(list->rowCount(), 6);
    EXPECT_EQ(list->scrollMaximum(), 480);
    EXPECT_EQ(list->largestPosition(), 1) << "480 pixels fit: nothing to scroll";
    restore({3, 3, 3, 3});
    EXPECT_EQ(list->rowCount(), 10);
    EXPECT_EQ(list->scrollMaximum(), 800);
    EXPECT_EQ(list->largestPosition(), 800 - kHeight + 1);
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(list->rowAt(i)->geometry(), QRect(0, i * 80, list->viewport()->width(), 80));
        EXPECT_EQ(list->rowAt(i)->index(), unsigned(i + 1));
    }

    // The wheel over a row scrolls the list, one line a notch.
    const QPointF at(200, 40);
    QWheelEvent wheel(at, list->rowAt(0)->mapToGlobal(at), QPoint(), QPoint(0, -360), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(list->rowAt(0), &wheel);
    EXPECT_EQ(list->scrollPosition(), 26);
    EXPECT_EQ(list->rowAt(1)->y(), 80 - 25);

    // Clearing keeps the position as far as the smaller range allows.
    list->Scroll(CScrollPane::Bottom);
    session->clearFinished();
    EXPECT_EQ(list->rowCount(), 0);
    EXPECT_EQ(list->scrollPosition(), 1);
}

TEST_F(ConversionRows, PinOffersItselfFromTheThirdRowWhileHovered) {
    restore({6, 6, 6, 6, 3});
    ASSERT_EQ(list->rowCount(), 5);
    for (int i : {0, 1}) {
        test::enter(*list->rowAt(i));
        test::moveMouse(*list->rowAt(i), {300, 40});
        EXPECT_TRUE(list->rowAt(i)->hovered());
        EXPECT_FALSE(list->rowAt(i)->topButton()->isVisible()) << "row " << i + 1;
        test::leave(*list->rowAt(i));
    }
    CConvertListItemDlg* third = list->rowAt(2);
    EXPECT_FALSE(third->topButton()->isVisible());
    test::enter(*third);
    EXPECT_TRUE(third->topButton()->isVisible());
    EXPECT_EQ(third->topButton()->geometry(), QRect(632, 30, 35, 20));
    EXPECT_EQ(third->topButton()->caption(), QStringLiteral("置顶"));
    test::leave(*third);
    EXPECT_FALSE(third->topButton()->isVisible());
    EXPECT_FALSE(third->hovered());

    test::enter(*list->rowAt(4));
    EXPECT_FALSE(list->rowAt(4)->topButton()->isVisible()) << "a finished task stays where it is";

    // Nothing runs, so pinning changes nothing; the button hides.
    test::enter(*third);
    const std::string key = third->taskKey();
    test::click(*third->topButton());
    EXPECT_FALSE(third->topButton()->isVisible());
    EXPECT_EQ(list->rowAt(2)->taskKey(), key);

    // The keyboard is offered it while the row or the button has the focus.
    test::leave(*third);
    list->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(list.get()));
    third->setFocus(Qt::TabFocusReason);
    EXPECT_TRUE(third->topButton()->isVisible());
    QTest::keyClick(third, Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), third->topButton());
    QTest::keyClick(third->topButton(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), third->cancelButton());
    EXPECT_FALSE(third->topButton()->isVisible());
}

TEST_F(ConversionRows, RowTextsAndPictures) {
    EXPECT_EQ(CConvertListItemDlg::FormatSize(1610612736), "1.5G");
    EXPECT_EQ(CConvertListItemDlg::FormatSize(1073741824), "1.0G");
    EXPECT_EQ(CConvertListItemDlg::FormatSize(734003200), "700.0M");

    const QString thumbnail = QString::fromStdString(home.file("thumb.jpg"));
    QImage solid(128, 72, QImage::Format_RGB32);
    solid.fill(QColor(20, 160, 60));
    ASSERT_TRUE(solid.save(thumbnail, "JPEG", 100));
    // A picture path naming a FIFO must not hold the disk thread, nor the quit.
    const std::string fifo = home.file("thumb.fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    restore({9}, fifo);
    restore({3}, thumbnail.toStdString());
    ASSERT_TRUE(pump([&] { return list->diskJobs() == 0; }));

    CConvertListItemDlg* failed = list->rowAt(0);
    EXPECT_EQ(failed->statusText(), QStringLiteral("任务失败"));
    EXPECT_EQ(failed->sizeText(), QStringLiteral("1.5G"));
    EXPECT_FALSE(failed->hasThumbnail());
    const QImage failedLook = test::grab(*failed);
    const SkinImage placeholder = SkinImage::load("Convert\\NoVideoSrc.png");
    EXPECT_TRUE(test::sameColour(failedLook.pixel(30, 22), placeholder.image().pixel(10, 6), 6))
        << "a thumbnail that is not there draws the placeholder";
    const SkinImage tip = SkinImage::load("Convert\\Tip.png");
    EXPECT_TRUE(test::sameColour(failedLook.pixel(504 + 2, 39 + 6), tip.image().pixel(2, 6)));

    CConvertListItemDlg* done = list->rowAt(1);
    EXPECT_EQ(done->statusText(), QStringLiteral("转码完成"));
    EXPECT_TRUE(done->hasThumbnail());
    EXPECT_TRUE(test::sameColour(test::grab(*done).pixel(64, 40), QColor(20, 160, 60), 12));
    EXPECT_FALSE(done->progressBar()->isVisible());
    EXPECT_EQ(done->cancelButton()->caption(), QStringLiteral("删除"));

    // Tooltips: the whole name and where the output goes; over a failure,
    // what can be done. A click there queues the task again.
    EXPECT_EQ(done->toolTipAt({150, 25}), QStringLiteral("v0.mp4\n输出：/v/v0.mp4"));
    const QPoint status = CConvertListItemDlg::failedStatusArea().center();
    EXPECT_EQ(failed->toolTipAt(status), QStringLiteral("点击重新转码"));
    EXPECT_EQ(done->toolTipAt(status), done->toolTipAt({150, 25}));
    // Screen readers are offered the retry of a failed row (and nothing of
    // a finished one), not the "置顶" that is not on screen.
    QAccessibleInterface* heard = QAccessible::queryAccessibleInterface(failed);
    EXPECT_EQ(heard->text(QAccessible::Name), QStringLiteral("v0.mp4，任务失败"));
    const QString press = QAccessibleActionInterface::pressAction();
    ASSERT_EQ(heard->actionInterface()->actionNames(), QStringList{press});
    EXPECT_EQ(heard->actionInterface()->localizedActionName(press), QStringLiteral("重新转码"));
    EXPECT_EQ(QAccessible::queryAccessibleInterface(done)->actionInterface()->actionNames(),
              QStringList());
    for (int i = 0; i < heard->childCount(); ++i)
        EXPECT_NE(heard->child(i)->text(QAccessible::Name), QStringLiteral("置顶"));
    // The action, Enter and a click there each retry; without its source it fails again.
    auto retriedThenFailed = [&] {
        EXPECT_EQ(kit->queue().tasks().front().state, TASK_RUNNING);
        return pump([&] { return list->rowAt(0)->state() == TaskLook::Failed; });
    };
    heard->actionInterface()->doAction(press);
    ASSERT_TRUE(retriedThenFailed());
    QTest::keyClick(list->rowAt(0), Qt::Key_Return);
    ASSERT_TRUE(retriedThenFailed());
    test::press(*list->rowAt(0), status);
    EXPECT_EQ(kit->queue().tasks().front().state, TASK_RUNNING);

    // The running text is the bar's position.
    DiskWorker disk;
    CConvertListItemDlg running(RowArt::Load(), disk, nullptr);
    TaskRowView view;
    view.look = TaskLook::Running;
    running.SetTask(view);
    running.SetProgress(37);
    EXPECT_EQ(running.progressBar()->pos(), 37);
    EXPECT_EQ(running.statusText(), QStringLiteral("已转码：37 %"));

    // Screen readers hear the rows' names and states, kept up with the progress.
    view.name = "a.mp4";
    running.SetTask(view);
    running.SetProgress(42);
    QAccessibleInterface* row = QAccessible::queryAccessibleInterface(&running);
    EXPECT_EQ(row->role(), QAccessible::ListItem);
    EXPECT_EQ(row->text(QAccessible::Name), QStringLiteral("a.mp4，已转码 42%"));
    QAccessibleInterface* bar = QAccessible::queryAccessibleInterface(running.progressBar());
    EXPECT_EQ(bar->role(), QAccessible::ProgressBar);
    ASSERT_NE(bar->valueInterface(), nullptr);
    EXPECT_EQ(bar->valueInterface()->currentValue().toInt(), 42);
}

TEST_F(ConversionRows, CancelStopsFfmpegAndTheNextTaskStarts) {
    const auto& media = test::mediaFixtures();
    std::string a = copyClip(media.longClip, "a.mp4");
    std::string b = copyClip(media.longClip, "b.mp4");
    std::string aKey = add(a);
    std::string bKey = add(b);
    kit->queue().Refresh();
    ASSERT_EQ(list->rowCount(), 2);
    CConvertListItemDlg* first = list->rowAt(0);
    EXPECT_EQ(first->state(), TaskLook::Running);
    EXPECT_EQ(list->rowAt(1)->statusText(), QStringLiteral("任务等待"));
    const std::string output = kit->queue().task(aKey)->outputPath;
    // FFmpeg writes under the hidden name until it is done.
    const std::string partial = parentFolder(output) + "/." + fileNamePart(output) + ".part-";
    ASSERT_TRUE(pump([&] { return first->progressBar()->pos() > 0; }));
    EXPECT_EQ(first->statusText(), QStringLiteral("已转码：%1 %").arg(first->progressBar()->pos()));
    EXPECT_TRUE(test::anyProcessMentions(partial));

    test::click(*first->cancelButton());
    ASSERT_TRUE(pump([&] {
        return list->rowCount() == 1 && list->rowAt(0)->taskKey() == bKey &&
               list->rowAt(0)->state() == TaskLook::Running;
    }));
    EXPECT_FALSE(fs::exists(output)) << "the partial file is deleted";
    EXPECT_FALSE(test::anyProcessMentions(partial)) << "its FFmpeg has ended";
    for (const auto& entry : fs::directory_iterator(parentFolder(output)))
        EXPECT_NE(entry.path().string().rfind(partial, 0), 0u) << "left behind: " << entry.path();
    EXPECT_EQ(list->rowAt(0)->index(), 1u);
}

// The pointer rests on the first row's button while its task finishes: the
// rows hold their places, and the row moved there when the finished one is
// deleted ignores the next click, so no click lands on another task.
TEST_F(ConversionRows, AClickOnARowThatMovedUnderThePointerNeverHitsAnotherTask) {
    const auto& media = test::mediaFixtures();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(list.get()));
    QCursor::setPos(list->viewport()->mapToGlobal(QPoint(699 + 32, 25 + 15)));
    ASSERT_TRUE(pump([&] { return list->viewport()->underMouse(); }));
    const std::string first = add(copyClip(media.shortClip, "first.avi"));
    const std::string second = add(copyClip(media.longClip, "second.mp4"));
    kit->queue().Refresh();
    ASSERT_TRUE(pump([&] { return list->row(first)->state() == TaskLook::Done; }));
    ASSERT_EQ(kit->queue().tasks().front().item.TaskKey, second) << "done, the task went last";
    ASSERT_EQ(list->rowAt(0)->taskKey(), first);
    EXPECT_TRUE(list->holding());
    auto clickUnderThePointer = [] {
        QWidget* under = QApplication::widgetAt(QCursor::pos());
        QTest::mouseClick(under, Qt::LeftButton, {}, under->mapFromGlobal(QCursor::pos()));
    };
    clickUnderThePointer();  // meant for the finished task's "删除"
    ASSERT_TRUE(pump([&] { return list->rowCount() == 1 && !kit->queue().task(first); }));
    CConvertListItemDlg* moved = list->rowAt(0);
    const int progress = moved->progressBar()->pos();
    clickUnderThePointer();
    // Cancelled, the task would leave; running on, it gets further.
    ASSERT_TRUE(
        pump([&] { return !kit->queue().task(second) || moved->progressBar()->pos() > progress; }));
    ASSERT_TRUE(kit->queue().task(second)) << "the task that moved there was cancelled";

    // The pointer goes over the list and out; settled, a click acts again.
    QCursor::setPos(list->viewport()->mapToGlobal(QPoint(300, 400)));
    QCursor::setPos(list->mapToGlobal(QPoint(-400, -400)));
    ASSERT_TRUE(pump([&] { return !list->viewport()->underMouse() && !moved->moving(); }));
    test::click(*moved->cancelButton());
    EXPECT_TRUE(pump([&] { return list->rowCount() == 0; }));
}

TEST_F(ConversionRows, DoneRowDeletesOnlyTheTask) {
    std::string clip = copyClip(test::mediaFixtures().shortClip, "short.avi");
    std::string key = add(clip);
    kit->queue().Refresh();
    ASSERT_TRUE(
        pump([&] { return list->rowCount() == 1 && list->rowAt(0)->state() == TaskLook::Done; }));
    CConvertListItemDlg* row = list->rowAt(0);
    EXPECT_EQ(row->cancelButton()->caption(), QStringLiteral("删除"));
    EXPECT_FALSE(row->progressBar()->isVisible());
    const std::string output = kit->queue().task(key)->outputPath;
    ASSERT_TRUE(fs::exists(output));
    test::click(*row->cancelButton());
    ASSERT_TRUE(pump([&] { return list->rowCount() == 0; }));
    EXPECT_TRUE(fs::exists(output)) << "the converted file stays on disk";
}

}  // namespace
}  // namespace zorvex::ui
