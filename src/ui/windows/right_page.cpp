#include "ui/windows/right_page.h"

#include "ui/toolkit/frame_strips.h"

namespace zorvex::ui {
namespace {
constexpr const char* kPageTag = "ZorvexUIFiles\\RightVideoDlg";
}

RightPage::RightPage(QWidget* owner, CoreSession& session) : QWidget(owner), session_(session) {}

RightPage::~RightPage() = default;

void RightPage::CloseRequest() {
    if (prompt_) return;
    switch (session_.exitChoice()) {
        case ExitChoice::Ask: {
            CNotifyMsgDlg::Settings settings;
            settings.deleteOrigin = session_.deleteOrigin();
            settings.rememberExit = [this](CNotifyMsgDlg::Result choice) {
                session_.saveExitChoice(choice == CNotifyMsgDlg::ResultQuit ? ExitChoice::Quit
                                                                            : ExitChoice::Hide);
            };
            prompt_ = new CNotifyMsgDlg(window(), CNotifyMsgDlg::TypeExit, {}, std::move(settings));
            prompt_->setAttribute(Qt::WA_DeleteOnClose);
            connect(prompt_, &QDialog::finished, this, &RightPage::onPromptFinished);
            prompt_->open();
            return;
        }
        case ExitChoice::Hide:
            emit hideToTrayRequested();
            return;
        case ExitChoice::Quit:
            Quit();
            return;
    }
}

void RightPage::onPromptFinished() {
    const int result = prompt_ ? prompt_->resultCode() : CNotifyMsgDlg::ResultNone;
    if (prompt_) prompt_->strips()->Destroy();
    prompt_ = nullptr;  // deleted on close
    if (result == CNotifyMsgDlg::ResultHide)
        emit hideToTrayRequested();
    else if (result == CNotifyMsgDlg::ResultQuit)
        Quit();
}

void RightPage::Quit() {
    if (session_.anyRunning()) {
        session_.log("停止转码", kPageTag);
        session_.stopAll();
    }
    PrepareQuit();
    emit quitRequested();
}

}  // namespace zorvex::ui
