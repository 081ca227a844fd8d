#pragma once

#include <QBasicTimer>
#include <QWidget>

namespace zorvex::ui {

// A flat progress bar: light fill, grey outline, and an accent fill of
// position / (high - low) of the width drawn over the outline. Like the
// platform control it clamps the position into the range. GUI thread only;
// workers reach it through the GUI thread's executor. Without a known length
// it can run indeterminate: an accent segment sweeps across instead of a fill.
class CMyProgressBar : public QWidget {
    Q_OBJECT
public:
    explicit CMyProgressBar(QWidget* parent);

    void SetRange(int low, int high);
    void SetPos(int position);
    int pos() const { return position_; }
    int low() const { return low_; }
    int high() const { return high_; }
    // Width of the accent fill at the current size.
    int fillWidth() const;

    // Sweeps until turned off; SetPos keeps its value meanwhile.
    void SetIndeterminate(bool on);
    bool indeterminate() const { return sweep_.isActive(); }
    // The sweeping segment at the current step, clipped to the bar.
    QRect sweepRect() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

private:
    int low_ = 0;
    int high_ = 100;
    int position_ = 0;
    QBasicTimer sweep_;
    int step_ = 0;
};

}  // namespace zorvex::ui
