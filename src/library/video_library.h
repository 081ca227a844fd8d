#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "foundation/toast_code.h"
#include "library/catalogue.h"
#include "library/conversion_port.h"
#include "library/relation_file.h"
#include "library/video_card.h"
#include "platform/executor.h"
#include "platform/subscribers.h"
#include "platform/worker_pool.h"

namespace zorvex {

// One library item: the card and the library's copies of its texts.
struct VIDEOINFO_ST {
    std::string path;
    std::string key;
    std::string name;
    std::string itemId;      // "{XXXXXXXX-...}"
    std::string outputName;  // a numbered output name chosen for a conversion
    std::string taskKey;     // the conversion task of this source, "" when none was asked
    std::shared_ptr<VideoCard> card;
};

inline constexpr int kLibraryLimit = 70;
// Thumbnail FFmpegs running at once; the rest wait their turn.
inline constexpr int kThumbnailsAtOnce = 2;
inline constexpr std::size_t kMaxNameCharacters = 60;

// Results of the duplicate-name confirmation.
enum DuplicateAnswer { ANSWER_CONTINUE = 30, ANSWER_SKIP = 31, ANSWER_CLOSED = 42 };

// What the library tells those who subscribed: news only, nothing is asked
// back. Called on the library's thread; a subscriber overrides what it hears.
class VideoLibraryListener {
public:
    virtual ~VideoLibraryListener() = default;
    virtual void onToast(int /*code*/) {}  // a ToastCode
    virtual void onConversionBalloon(const std::string& /*name*/) {}
    // Items were added, removed or reordered: lay the cards out again.
    virtual void onLibraryChanged() {}
    // One card's look changed.
    virtual void onCardChanged(const std::string& /*itemId*/) {}
    // A file that could not be examined as a video left the library (its name).
    virtual void onUnexaminable(const std::string& /*name*/) {}
};

// Where "转码" over the checked cards stands after a step.
struct QueueOutcome {
    // A duplicate output name waits for AnswerDuplicate: the question's
    // (shortened) name. The batch stops at that card until it is answered.
    std::optional<std::string> question;
    // The batch ended and at least one task was asked for.
    bool queued = false;
};

struct VideoLibraryContext {
    Catalogue* catalogue = nullptr;         // not owned; null: nothing is shared
    Executor* executor = nullptr;           // the library's thread
    ConversionPort* conversions = nullptr;  // not owned; null: nothing is converted
    std::string relationFile;               // VideoRelation.xml in the home folder
    std::function<std::string()> convertFolder;
    std::function<FfmpegTool()> ffmpeg;
    std::function<std::string(const std::string& key)> thumbnailPathFor;
    // The media probe, called on the examiner's thread; ProbeMedia when empty.
    std::function<MediaProbeResult(const std::string& path)> probe;
    // How often a thread of the library looks for the cards' files; zero:
    // only when RecheckFiles is called.
    std::chrono::milliseconds recheckEvery{0};
};

// The user's videos as cards in display order, and the relations of
// converted videos to their sources. Everything here runs on the executor's
// thread; the cards' work runs on two pools of the library's own and
// reports back through it.
//
// Examination: the cards that have not been examined are handed their path
// one at a time, in library order; the report of one starts the next, until
// none is left or the library is closing.
class VideoLibrary final : private VideoCardListener {
public:
    explicit VideoLibrary(VideoLibraryContext context);
    ~VideoLibrary() override;  // stops the examination, then frees every card

    // A VideoRelation.xml that cannot be read is renamed to
    // "VideoRelation.xml.damaged-YYYYMMDD-HHMMSS" (and logged); the relation
    // list then starts with the whole items before the damage, saved at once.
    void LoadRelations();
    bool SaveRelations();

    void BuildFromCatalogue();
    // folderWithoutVideos: the drop held a folder with no video in it
    // (toast 4, unless the library is full: then the drop is not looked at).
    void AddDropped(const std::vector<std::string>& paths, bool folderWithoutVideos = false);
    // False, with toast 6, when the library is full: asked before the open
    // dialog is offered.
    bool MayAdd();
    // The files chosen in the open dialog; false (toast 6) when the library is full.
    bool AddByDialog(const std::vector<std::string>& paths);
    // Over the checked cards, in library order, until a duplicate output
    // name needs the user's answer: then the outcome holds the question.
    QueueOutcome QueueConversion();
    // Goes on from the card the question was about: ANSWER_CLOSED ends the
    // batch there. Without a pending question nothing happens.
    QueueOutcome AnswerDuplicate(DuplicateAnswer answer);
    // A task of this source changed: its card is drawn again, and learns the
    // task's key when it knows none that is live (a task restored at start).
    void OnTaskChanged(const std::string& sourcePath);
    // A conversion finished: its source's card is drawn again, the output's
    // card follows it and the relation is kept (also when told again at start).
    void OnConverted(const std::string& sourcePath, const std::string& outputPath);
    // The checked cards; with deleteConvertedFiles the files of converted
    // cards go from the disk too (the prompt's "彻底删除源文件").
    void DeleteItems(bool deleteConvertedFiles = false);

    // A shared file is servable again (the catalogue saw it while a phone
    // asked): a missing card of that path becomes what it was, examined
    // again and with its thumbnail. Other news changes nothing.
    void OnFileStatus(const std::string& path, bool exists);
    // Looks for every card's file (a stat each, on this thread): a plain or
    // converted card whose file has gone turns missing, and a missing card
    // whose file is back comes back as OnFileStatus says. Cards with a task
    // follow their task instead.
    void RecheckFiles();

    bool HasConversionRecord(const std::string& path) const;

    void SetAllChecked(bool on);
    // A click on an examined card.
    void ToggleChecked(const std::string& itemId);

    // Subscribers hear every event in the order they subscribed; each stays
    // subscribed until it unsubscribes, and must outlive its subscription.
    void subscribe(VideoLibraryListener* listener);
    void unsubscribe(VideoLibraryListener* listener);

    void setClosing() { closing_ = true; }
    // True while a card handed over by the examination has not reported.
    bool examining() const { return examining_.load(); }

    // The card's kind with its task's state: waiting, converting or
    // interrupted while the port says so; otherwise the card's own.
    CardKind KindOf(const VIDEOINFO_ST& item) const;

    std::vector<VIDEOINFO_ST> items() const;
    std::shared_ptr<VideoCard> card(const std::string& itemId) const;
    const std::vector<VIDEO_RELATION_ST>& relations() const { return relations_; }

private:
    void onExamined(const std::string& itemId, bool unexaminable) override;
    void onThumbnail(const std::string& itemId, bool made) override;

    VIDEOINFO_ST& appendItem(const std::string& path, CardKind kind, std::size_t at);
    std::shared_ptr<VideoCard> makeCard(const std::string& itemId, CardKind kind);
    void startExamination();
    void examineNext();
    void resumeExamination();
    void DeleteUnexaminable(const std::string& itemId);
    void comeBack(const std::string& itemId, const std::shared_ptr<VideoCard>& card);
    void tellSourceChanged(const std::string& sourcePath);
    void removeFromCatalogue(int list, const std::string& path);
    void dropRelationOf(const std::string& targetPath);
    std::vector<VIDEOINFO_ST>::iterator findByPath(const std::string& path);
    // Cards whose video is (or was, for a missing card) in the catalogue list.
    std::size_t countInList(int list) const;
    // A file of this name in the conversion folder, or a task's output to be.
    bool outputTaken(const std::string& name, const std::vector<std::string>& claimed) const;
    std::string uniqueOutputName(const std::string& name,
                                 const std::vector<std::string>& claimed) const;
    // One checked card of QueueConversion; sent: the cards sent before it.
    // Without an answer a duplicate name asks (the question in shown).
    enum class QueueStep { Sent, Skipped, Closed, Asking };
    QueueStep queueOne(const VIDEOINFO_ST& item, const std::vector<std::string>& sent,
                       std::optional<DuplicateAnswer> answer, std::string& shown);
    QueueOutcome runBatch(std::optional<DuplicateAnswer> answer);
    void skipConversion(const VIDEOINFO_ST& item);
    // Waiting, converting, or sent by this QueueConversion.
    bool inFlight(const VIDEOINFO_ST& item, const std::vector<std::string>& sent) const;
    std::vector<std::string> claimedOutputs(const std::vector<std::string>& sent) const;
    // The toast that refuses a conversion to outputPath, 0 when it may run.
    int conversionRefusal(const std::string& outputPath,
                          const std::vector<std::string>& sent) const;
    // The toast that refuses sharing path in list, 0 when it may be shared.
    int shareRefusal(const std::string& path, int list) const;
    int addRefusal(const std::string& path);
    void toast(int code);
    void post(std::function<void(VideoLibrary&)> task);
    // Whether each card's file is there, by item: nullopt when it cannot be told.
    using Presence = std::vector<std::pair<std::string, std::optional<bool>>>;
    Presence lookForFiles() const;
    void applyPresence(const Presence& presence);
    void watchFiles();

    VideoLibraryContext context_;
    Subscribers<VideoLibraryListener> listeners_;
    // A "转码" stopped at a question: its snapshot of the cards, the next
    // one to take and the cards sent so far.
    struct Batch {
        std::vector<VIDEOINFO_ST> items;
        std::size_t next = 0;
        std::vector<std::string> sent;
    };
    std::optional<Batch> batch_;
    // Before the items: the cards' work runs on them until shutDown. One
    // examiner keeps the cards' order; thumbnails have their own threads so
    // that an FFmpeg never holds up the next card's examination.
    WorkerPool examiner_{1};
    WorkerPool thumbnailer_{kThumbnailsAtOnce};
    mutable std::mutex itemsMutex_;  // the examination thread reads the list
    std::vector<VIDEOINFO_ST> items_;
    std::vector<VIDEO_RELATION_ST> relations_;
    std::atomic<bool> closing_{false};
    std::string examinedId_;              // the card the examination waits for; "" when none
    std::vector<std::string> returning_;  // cards examined again since their file came back
    std::atomic<bool> examining_{false};
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
    // Last: started when everything above is, joined first.
    std::mutex watchMutex_;  // guards watchStop_
    std::condition_variable watchWake_;
    bool watchStop_ = false;
    std::thread watcher_;
};

// The extension list of a drop: exact and case-sensitive.
bool IsAcceptedVideoName(const std::string& name);

}  // namespace zorvex
