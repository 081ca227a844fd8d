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
    const int exitWndType = session_.exitWndType();
    switch (exitWndType) {
        case 1: {
            CNotifyMsgDlg::Settings settings;
            settings.exitWndType = exitWndType;
            settings.deleteOrigin = session_.deleteOrigin();
            settings.saveExitWndType = [this](int type) { session_.saveExitWndType(type); };
            prompt_ = new CNotifyMsgDlg(window(), 3, {}, std::move(settings));
            prompt_->setAttribute(Qt::WA_DeleteOnClose);
            connect(prompt_, &QDialog::finished, this, &RightPage::onPromptFinished);
            prompt_->open();
            return;
        }
        case 2:
            emit hideToTrayRequested();
            return;
        case 3:
            Quit();
            return;
        default:
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
        PostLog("停止转码", kPageTag);
        session_.stopAll();
    }
    PrepareQuit();
    emit quitRequested();
}

}  // namespace zorvex::ui
