// zorvex-e2e-driver HOME ADDRESS: opens the real window over HOME on ADDRESS, as
// the application does (offscreen), converts the first card of the library,
// prints "converting" once the conversion is under way and waits to be
// killed.
#include <QApplication>
#include <QTimer>

#include <cstdio>

#include "app/window_runner.h"
#include "transcode/conversion_task.h"
#include "ui/windows/right_video_dlg.h"
#include "ui/windows/zorvex_vr_client_dlg.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fputs("usage: zorvex-e2e-driver HOME ADDRESS\n", stderr);
        return 2;
    }
    QApplication qtApp(argc, argv);
    zorvex::WindowedApplication running;
    if (!running.open(argv[1], {argv[2]})) return 1;
    zorvex::Application& core = running.application();
    auto* page = static_cast<zorvex::ui::CRightVideoDlg*>(running.window().page());
    bool asked = false, told = false;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto items = core.library().items();
        if (!asked && !items.empty() && items[0].card->examined()) {
            core.library().ToggleChecked(items[0].itemId);
            page->OnConvert();
            asked = true;
        }
        auto tasks = core.queue().tasks();
        if (!told && !tasks.empty() && tasks[0].state == zorvex::TASK_RUNNING &&
            tasks[0].progress > 0) {
            std::printf("converting %u %%\n", tasks[0].progress);
            std::fflush(stdout);
            told = true;
        }
    });
    poll.start(20);
    return QApplication::exec();
}
