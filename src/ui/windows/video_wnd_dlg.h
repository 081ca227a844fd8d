#pragma once

#include <QImage>
#include <QString>
#include <QWidget>

#include <memory>
#include <string>

#include "ui/session/session_views.h"
#include "ui/toolkit/skin.h"

namespace zorvex::ui {

class CGIFImage;
class DiskWorker;

// The card's skin pictures, loaded once by the list and shared by its cards.
struct CardArt {
    SkinImage placeholder;  // "FP\\NoVideoSrc.png"
    SkinImage check;        // "FP\\Check.png", 14 x 14 cells: 0 empty, 2 checked
    SkinImage converted;    // "FP\\Coned.png"
    SkinImage waiting;      // "FP\\Con_Wait.png"
    SkinImage lost;         // "FP\\Lose.png"
    static std::shared_ptr<const CardArt> Load();
};

// One video of the library as a 144 x 116 card: thumbnail or placeholder, the
// badge of its look (the animation while it converts, the "lost" overlay when
// its file is gone), the check box and the shortened name. It draws the
// CardView it is given and reacts to the mouse only once the card has been
// examined: a release over it reports clicked(), which the list turns into
// a check-mark toggle. Tab reaches it and Space or Enter clicks it; screen
// readers hear a check box named by the full file name and its state.
// GUI thread only; the list owns it.
class CVideoWndDlg : public QWidget {
    Q_OBJECT
public:
    static constexpr int kWidth = 144;
    static constexpr int kHeight = 116;

    CVideoWndDlg(const CardView& view, std::shared_ptr<const CardArt> art, DiskWorker& disk,
                 QWidget* parent);
    ~CVideoWndDlg() override;

    // Takes the card's new state: the animation follows the look, and the
    // thumbnail is loaded again (off the GUI thread) when its path or its
    // usability changed. Then repaints.
    void SetView(const CardView& view);

    const std::string& itemId() const { return view_.itemId; }
    const CardView& view() const { return view_; }
    bool hovered() const { return hovered_; }
    // A thumbnail is being read from disk.
    bool hasThumbnail() const { return !thumbnail_.isNull(); }
    // The name as drawn: the short form where it fits the name's place, else
    // the name elided in its middle with the whole extension kept.
    const QString& shownName() const { return shownName_; }
    // The whole name, then what the examination found ("时长 0:20 · 12.3 MB
    // · 1920×1080") and why the card looks as it does, one line each.
    QString toolTipText() const;
    // The animation shown while the video converts (null until first needed).
    CGIFImage* animation() const { return animation_; }
    // Painted since the last change of the picture it shows (for benchmarks).
    bool paintedCurrent() const { return paintedCurrent_; }
    // What screen readers hear: "a.mp4，已转码", "a.mp4，视频已丢失".
    QString accessibleText() const;

signals:
    // Any left press, examined or not: the list logs it.
    void pressed(const std::string& path, bool examined);
    void clicked(const std::string& itemId);
    // The keyboard focus came here; the list shows the card whole.
    void focused(const std::string& itemId);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;

private:
    void setUpKeyboard();
    void followAccessible();
    void showAnimation(bool on);
    void loadThumbnail(const QString& path);

    // constant after construction
    const std::shared_ptr<const CardArt> art_;
    DiskWorker& disk_;

    CardView view_;
    QString shownName_;
    QImage thumbnail_;
    QString thumbnailPath_;  // the path thumbnail_ was read from, or is being read from
    bool thumbnailUsable_ = false;
    int loading_ = 0;
    CGIFImage* animation_ = nullptr;
    bool hovered_ = false;
    bool paintedCurrent_ = false;
};

}  // namespace zorvex::ui
