#pragma once

#include <QBasicTimer>
#include <QImage>
#include <QWidget>

#include <vector>

namespace zorvex::ui {

// Plays an animated GIF. Frames are decoded once by Load and advanced by a
// timer on the GUI thread, which only schedules repaints. Kind 0 shows the
// upper half of each frame over the whole control; kind 2 shows the whole
// frame in 50 x 16 at the top-left corner. GUI thread only.
class CGIFImage : public QWidget {
    Q_OBJECT
public:
    explicit CGIFImage(QWidget* parent);

    // Stops the running animation, decodes the file and starts playing it.
    // A file that cannot be read leaves the control empty.
    void Load(const QString& path);
    void SetKind(int kind);
    void Stop();
    // Shows one frame and keeps it: for previews of the skin.
    void ShowFrame(int frame);

    int kind() const { return kind_; }
    bool playing() const { return playing_; }
    bool animating() const { return timer_.isActive(); }
    int frameCount() const { return static_cast<int>(frames_.size()); }
    int currentFrame() const { return current_; }
    // How long frame i stays, in milliseconds, after the browser rule below.
    int frameDelay(int frame) const;

    // A frame delay of 0 or 10 ms plays at 100 ms, as browsers do, instead of spinning.
    static int effectiveDelay(int fileDelayMs);

protected:
    void paintEvent(QPaintEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

private:
    int kind_ = 0;
    bool playing_ = false;
    std::vector<QImage> frames_;
    std::vector<int> delays_;  // milliseconds, already adjusted
    int current_ = 0;
    QBasicTimer timer_;
};

}  // namespace zorvex::ui
