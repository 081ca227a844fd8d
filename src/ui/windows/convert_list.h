#pragma once

#include <QBasicTimer>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "transcode/conversion_queue.h"
#include "ui/toolkit/disk_worker.h"
#include "ui/toolkit/scroll_pane.h"

namespace zorvex::ui {

class CConvertListItemDlg;
struct RowArt;

// The conversion queue as a scrolling list of 80-pixel rows in queue order.
// It hosts the ConversionQueue: the page calls the queue's operations here,
// the rows' buttons reach the queue through it, and it takes over the
// queue's listener. Every call is handled here (the rows follow the queue,
// progress repaints at most ten times a second) and then passed on to the
// listener the queue had before, the application's wiring of queue and
// library. The queue must outlive the list. GUI thread only: the queue's
// executor must run on the GUI thread.
class CConvertList : public CScrollPane, private ConversionQueueListener {
    Q_OBJECT
public:
    // What the hosting page gives the list; each may be left empty.
    struct Hooks {
        // A conversion finished (the library has been told through the queue's listener).
        std::function<void(const std::string& sourcePath, const std::string& outputPath)>
            conversionFinished;
        // A job could not start: the text for a message box.
        std::function<void(const std::string& text)> jobMessage;
        // Tasks were added, removed or changed state (the page's "转码" looks, "清空已完成").
        std::function<void()> queueChanged;
    };

    static constexpr int kRowHeight = 80;
    static constexpr int kProgressIntervalMs = 100;

    CConvertList(ConversionQueue& queue, QWidget* parent);
    ~CConvertList() override;

    void setHooks(Hooks hooks) { hooks_ = std::move(hooks); }
    ConversionQueue& queue() { return queue_; }

    // The queue's operations, for the page.
    std::string AddTask(const std::string& name, const std::string& sourcePath,
                        const std::string& size, const std::string& thumbnailPath,
                        const std::string& duration, const std::string& width,
                        const std::string& height) {
        return queue_.AddTask(name, sourcePath, size, thumbnailPath, duration, width, height);
    }
    std::optional<int> IsQueued(const std::string& name, const std::string& sourcePath) const {
        return queue_.IsQueued(name, sourcePath);
    }
    bool RemoveTaskForVideo(const std::string& taskKey, const std::string& sourcePath) {
        return queue_.RemoveTaskForVideo(taskKey, sourcePath);
    }
    void StopAll(bool quiet) { queue_.StopAll(quiet); }
    void ClearFinished() { queue_.ClearFinished(); }
    bool AnyRunning() const { return queue_.AnyRunning(); }
    void LoadQueueFile() { queue_.LoadQueueFile(); }
    bool SaveQueueFile() { return queue_.SaveQueueFile(); }
    // Lays out and saves, as after the library's convert action.
    void Refresh() { queue_.Refresh(); }

    // Brings the rows in line with the queue, places them and keeps the
    // scroll position (clamped).
    void LayoutRows();

    int rowCount() const { return static_cast<int>(order_.size()); }
    // Row i from 0, in queue order.
    CConvertListItemDlg* rowAt(int index) const;
    CConvertListItemDlg* row(const std::string& taskKey) const;
    // Progress repaints since the list was made (for benchmarks).
    int progressRepaints() const { return progressRepaints_; }
    int diskJobs() const { return disk_.outstanding(); }

protected:
    void placeChildren() override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

private:
    // ConversionQueueListener
    void onTaskEvent(int code, const std::string& videoPath) override;
    void onConverted(const std::string& sourcePath, const std::string& outputPath) override;
    void onJobMessage(const std::string& text) override;
    void onQueueChanged() override;
    void onProgress(const std::string& taskKey, std::uint32_t percent) override;

    void onCancel(const std::string& taskKey);
    void onPin(const std::string& taskKey);
    void showProgress();
    void layoutSoon();

    ConversionQueue& queue_;
    ConversionQueueListener* const next_;  // the queue's listener before this list
    Hooks hooks_;
    DiskWorker disk_;
    std::shared_ptr<const RowArt> art_;
    std::map<std::string, CConvertListItemDlg*> rows_;  // by task key; children of the viewport
    std::vector<CConvertListItemDlg*> order_;           // queue order
    std::map<std::string, std::uint32_t> progress_;     // latest values not yet shown
    QBasicTimer progressTimer_;
    int progressRepaints_ = 0;
    bool layoutPending_ = false;
};

}  // namespace zorvex::ui
