#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "library/catalogue.h"
#include "library/thumbnail_worker.h"
#include "media/media_probe.h"
#include "platform/worker_pool.h"

namespace zorvex {

// Card kinds: the card's look and the catalogue list of its video. A card
// keeps only its own nature (plain, converted, missing); the conversion kinds
// are its task's, which the library reads from the queue.
enum CardKind : int {
    KIND_PLAIN = 0,
    KIND_WAITING = 1,
    KIND_CONVERTING = 2,
    KIND_CONVERTED = 3,
    KIND_INTERRUPTED = 6,
    KIND_MISSING = 8,
};

// The catalogue list of a kind (a missing card: that of its previous kind).
int CatalogueListOf(CardKind kind);

// "holiday_in_rome.mp4" -> "holiday...e.mp4": bases of nine or more
// characters keep their first seven and their last one.
std::string ShortName(const std::string& name);

// What a card's work tells its owner, on a pool's thread.
class VideoCardListener {
public:
    virtual ~VideoCardListener() = default;
    // Examination ended; unexaminable when the probe left a text empty.
    virtual void onExamined(const std::string& itemId, bool unexaminable) = 0;
    virtual void onThumbnail(const std::string& itemId, bool made) = 0;
};

// One video of the library, without drawing: its texts, kind, check mark,
// and the examination of its file (registration in the catalogue, probe,
// thumbnail) on the library's pools.
// Owner's thread: everything but the work. Texts are guarded by a mutex
// because the work writes them; examined() may be read from any thread.
class VideoCard {
public:
    struct Context {
        Catalogue* catalogue = nullptr;  // not owned; null: nothing is registered
        VideoCardListener* listener = nullptr;
        std::function<FfmpegTool()> ffmpeg;
        std::function<std::string(const std::string& key)> thumbnailPathFor;
        // The media probe, called on the examiner; ProbeMedia when empty.
        std::function<MediaProbeResult(const std::string& path)> probe;
        // Shared by the cards of one library, not owned, outliving the
        // card's work (shutDown). Registration and probe run on the
        // examiner, thumbnails on their own pool.
        WorkerPool* examiner = nullptr;
        WorkerPool* thumbnails = nullptr;
    };

    // kind: KIND_PLAIN or KIND_CONVERTED.
    VideoCard(std::string itemId, Context context, CardKind kind = KIND_PLAIN);
    ~VideoCard();  // shutDown()

    // Drops the card's work not started yet and waits for the running
    // one (ending its FFmpeg); afterwards the card tells its listener
    // nothing more and examines nothing. The owner calls it when it lets a
    // card go, however long others keep the card.
    void shutDown();
    VideoCard(const VideoCard&) = delete;
    VideoCard& operator=(const VideoCard&) = delete;

    // A card rebuilt from the catalogue: no registration, no thumbnail from its worker.
    void SetInfo(const std::string& path, const std::string& key, const std::string& name,
                 bool inCatalogue);
    // Examines the file: a missing one makes the card missing at once,
    // an existing one is queued on the examiner.
    void SetSource(const std::string& path);
    // Takes the thumbnail when it is a readable picture; otherwise queues
    // its making (only for a registered card).
    void SetThumbnail(const std::string& thumbnailPath);

    const std::string& itemId() const { return itemId_; }
    std::string path() const;
    std::string key() const;
    std::string name() const;
    std::string thumbnailPath() const;
    bool thumbUsable() const;
    MediaProbeResult probe() const;
    bool inCatalogue() const;

    // Its own nature; VideoLibrary::KindOf adds its task's state.
    CardKind kind() const { return kind_; }
    CardKind previousKind() const { return previousKind_; }
    // Missing: remembers the kind it had.
    void markMissing();
    // A missing card whose file is back takes its earlier kind and is
    // examined again (reported as the first time); false when the
    // card is not missing or is let go.
    bool Reexamine();
    bool checked() const { return checked_; }
    void setChecked(bool on) { checked_ = on; }
    bool examined() const { return examined_.load(); }
    // True once SetSource has been called: the card is being or has been examined.
    bool sourceSet() const { return sourceSet_.load(); }

private:
    void work(const std::string& path, int list);
    void startThumbnail();

    const std::string itemId_;
    const Context context_;

    mutable std::mutex mutex_;  // guards the texts below
    std::string path_, key_, name_, thumbnailPath_;
    bool thumbUsable_ = false;
    bool inCatalogue_ = false;
    MediaProbeResult probe_;

    // owner's thread only
    CardKind kind_ = KIND_PLAIN;
    CardKind previousKind_ = KIND_PLAIN;
    bool checked_ = false;

    bool examinationQueued_ = false;  // owner's thread

    std::atomic<bool> examined_{false};
    std::atomic<bool> sourceSet_{false};
    std::atomic<bool> cancelled_{false};
    std::unique_ptr<ThumbnailWorker> thumbnailWorker_;  // guarded by mutex_
    TaskGroup examination_;  // last: cancelled before what its task uses goes
};

// True when the file begins like a JPEG or PNG picture.
bool looksLikePicture(const std::string& path);

}  // namespace zorvex
