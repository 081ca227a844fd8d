#include "library/video_library.h"

#include <algorithm>

#include "foundation/log_recorder.h"
#include "foundation/stored_file.h"
#include "media/output_name.h"
#include "platform/allocator_arenas.h"
#include "platform/file_util.h"
#include "platform/guid.h"
#include "platform/utf16_text.h"

namespace zorvex {

namespace {

constexpr const char* kLogTag = "ZorvexLibrary\\VideoLibrary";

const char* const kAcceptedExtensions[] = {"mp4",  "MP4", "mkv",  "MKV",  "flv", "FLV", "rmvb",
                                           "RMVB", "rm",  "RM",   "mov",  "MOV", "wmv", "WMV",
                                           "avi",  "AVI", "mpeg", "MPEG", "3gp", "3GP"};

std::string forwardSlashes(std::string path) {
    std::replace(path.begin(), path.end(), '\\', '/');
    return path;
}

}  // namespace

bool IsAcceptedVideoName(const std::string& name) {
    auto dot = name.rfind('.');
    std::string extension = dot == std::string::npos ? name : name.substr(dot + 1);
    return std::find(std::begin(kAcceptedExtensions), std::end(kAcceptedExtensions), extension) !=
           std::end(kAcceptedExtensions);
}

VideoLibrary::VideoLibrary(VideoLibraryContext context) : context_(std::move(context)) {
    if (context_.recheckEvery.count() > 0) watcher_ = std::thread([this] { watchFiles(); });
    // Finding FFmpeg runs it once (a tenth of a second or more). Done here in
    // the background, before the first thumbnail or conversion asks for it on
    // the owner's thread, where the window would stand still meanwhile.
    if (context_.ffmpeg) thumbnailer_.post([ffmpeg = context_.ffmpeg] { ffmpeg(); });
}

VideoLibrary::~VideoLibrary() {
    closing_ = true;
    if (watcher_.joinable()) {
        {
            std::lock_guard lock(watchMutex_);
            watchStop_ = true;
        }
        watchWake_.notify_all();
        watcher_.join();
    }
    std::vector<VIDEOINFO_ST> items;
    {
        std::lock_guard lock(itemsMutex_);
        items.swap(items_);
    }
    for (auto& item : items) item.card->shutDown();  // even cards others still hold
    // Only now: the workers above read it when they post.
    alive_.reset();
}

void VideoLibrary::post(std::function<void(VideoLibrary&)> task) {
    context_.executor->post([this, alive = std::weak_ptr<bool>(alive_), task = std::move(task)] {
        if (alive.lock()) task(*this);
    });
}

void VideoLibrary::LoadRelations() {
    RelationsLoad load = zorvex::LoadRelations(context_.relationFile);
    // Set aside, so that the next save does not overwrite what may be saved.
    if (load.status == StoredFileStatus::Damaged)
        KeepDamagedFile(context_.relationFile, load.problem, kLogTag);
    relations_ = std::move(load.relations);
    // What was recovered from a torn file is saved now, not at the next change.
    if (load.status == StoredFileStatus::Damaged && !relations_.empty()) SaveRelations();
}

bool VideoLibrary::SaveRelations() {
    if (zorvex::SaveRelations(context_.relationFile, relations_)) return true;
    PostLog("VideoRelation.xml could not be written: " + context_.relationFile, kLogTag);
    return false;
}

std::shared_ptr<VideoCard> VideoLibrary::makeCard(const std::string& itemId, CardKind kind) {
    VideoCard::Context cardContext{
        context_.catalogue, this,       context_.ffmpeg, context_.thumbnailPathFor,
        context_.probe,     &examiner_, &thumbnailer_};
    return std::make_shared<VideoCard>(itemId, cardContext, kind);
}

VIDEOINFO_ST& VideoLibrary::appendItem(const std::string& path, CardKind kind, std::size_t at) {
    VIDEOINFO_ST item;
    item.path = path;
    item.name = fileNamePart(path);
    item.itemId = NewGuid();
    item.card = makeCard(item.itemId, kind);
    std::lock_guard lock(itemsMutex_);
    at = std::min(at, items_.size());
    return *items_.insert(items_.begin() + static_cast<std::ptrdiff_t>(at), std::move(item));
}

void VideoLibrary::BuildFromCatalogue() {
    if (!context_.catalogue) return;
    std::vector<std::string> claimed;  // keys of converted entries placed after their source
    auto place = [&](const Catalogue::Entry& entry, CardKind kind) {
        VIDEOINFO_ST& item = appendItem(entry.path, kind, SIZE_MAX);
        item.key = entry.key;
        item.name = entry.name;
        item.card->SetInfo(entry.path, entry.key, entry.name, true);
        item.card->SetThumbnail(context_.thumbnailPathFor(entry.key));
    };
    auto relationOf = [&](const std::string& target) {
        return std::find_if(relations_.begin(), relations_.end(),
                            [&](const auto& r) { return r.VideoTargetPath == target; });
    };
    // A converted video follows the source its relation names; only one
    // without a relation falls back to a source of its name (or the name
    // its conversion would have), and each is placed once: two sources
    // called the same in two folders share no converted card.
    auto belongsTo = [&](const Catalogue::Entry& entry, const Catalogue::Entry& source) {
        auto relation = relationOf(entry.path);
        if (relation != relations_.end()) return relation->VideoSrcPath == source.path;
        return entry.name == source.name || entry.name == ConvertedFileName(source.name);
    };
    std::vector<Catalogue::Entry> converted =
        context_.catalogue->entries(Catalogue::kConvertedList);
    for (const Catalogue::Entry& source : context_.catalogue->entries(Catalogue::kSourceList)) {
        place(source, KIND_PLAIN);
        for (const Catalogue::Entry& entry : converted) {
            if (std::find(claimed.begin(), claimed.end(), entry.key) != claimed.end()) continue;
            if (!belongsTo(entry, source)) continue;
            place(entry, KIND_CONVERTED);
            claimed.push_back(entry.key);
        }
    }
    for (const Catalogue::Entry& entry : converted) {
        if (std::find(claimed.begin(), claimed.end(), entry.key) == claimed.end()) {
            place(entry, KIND_CONVERTED);
        }
    }
    startExamination();
    listeners_.tell([&](VideoLibraryListener& l) { l.onLibraryChanged(); });
}

std::size_t VideoLibrary::countInList(int list) const {
    std::lock_guard lock(itemsMutex_);
    return static_cast<std::size_t>(
        std::count_if(items_.begin(), items_.end(), [&](const auto& item) {
            const VideoCard& card = *item.card;
            CardKind kind = card.kind() == KIND_MISSING ? card.previousKind() : card.kind();
            return CatalogueListOf(kind) == list;
        }));
}

// The catalogue's own limits, tested before a card is made: a card the
// phones would never see must not look like one they do. A long name is
// none of them: phones are shown it shortened.
int VideoLibrary::shareRefusal(const std::string& path, int list) const {
    if (path.size() > Catalogue::kMaxPathBytes) return TOAST_NAME_TOO_LONG;
    if (context_.catalogue && countInList(list) >= Catalogue::kListCapacity) return TOAST_FULL;
    return 0;
}

// Why a chosen video cannot get a card (its toast code), or 0.
int VideoLibrary::addRefusal(const std::string& path) {
    if (utf16Length(fileNamePart(path)) > kMaxNameCharacters) return TOAST_NAME_TOO_LONG;
    if (findByPath(path) != items_.end()) return TOAST_EXISTS;
    return shareRefusal(path, Catalogue::kSourceList);
}

void VideoLibrary::subscribe(VideoLibraryListener* listener) {
    listeners_.add(listener);
}

void VideoLibrary::unsubscribe(VideoLibraryListener* listener) {
    listeners_.remove(listener);
}

void VideoLibrary::toast(int code) {
    listeners_.tell([&](VideoLibraryListener& l) { l.onToast(code); });
}

void VideoLibrary::AddDropped(const std::vector<std::string>& paths, bool folderWithoutVideos) {
    if (items().size() > kLibraryLimit - 1) return;  // tested once per drop, as always
    if (folderWithoutVideos) toast(TOAST_NOT_VIDEO);
    if (paths.empty()) return;
    for (const std::string& path : paths) {
        int refusal = IsAcceptedVideoName(fileNamePart(path)) ? addRefusal(path) : TOAST_NOT_VIDEO;
        if (refusal)
            toast(refusal);
        else
            appendItem(path, KIND_PLAIN, SIZE_MAX);
    }
    // Examined one after another like the dialog's cards: each registers
    // in turn, so the phones' list and the next start keep the card order.
    startExamination();
    listeners_.tell([&](VideoLibraryListener& l) { l.onLibraryChanged(); });
}

bool VideoLibrary::MayAdd() {
    if (items().size() < kLibraryLimit) return true;
    toast(TOAST_FULL);
    return false;
}

bool VideoLibrary::AddByDialog(const std::vector<std::string>& paths) {
    if (!MayAdd()) return false;
    for (const std::string& path : paths) {
        if (int refusal = addRefusal(path))
            toast(refusal);
        else
            appendItem(path, KIND_PLAIN, SIZE_MAX);
    }
    startExamination();
    listeners_.tell([&](VideoLibraryListener& l) { l.onLibraryChanged(); });
    return true;
}

void VideoLibrary::startExamination() {
    if (examinedId_.empty()) examineNext();
}

// One card at a time: a card with a worker is waited for until its report
// (onExamined) comes back here; a card that is settled at once (its file is
// gone) is passed at once.
void VideoLibrary::examineNext() {
    const bool wasExamining = examining_.exchange(false);
    examinedId_.clear();
    while (!closing_) {
        std::shared_ptr<VideoCard> next;
        std::string itemId, path;
        {
            std::lock_guard lock(itemsMutex_);
            for (const auto& item : items_) {
                if (item.card->sourceSet()) continue;
                next = item.card;
                itemId = item.itemId;
                path = item.path;
                break;
            }
        }
        if (!next) {
            if (wasExamining) GiveBackFreeMemory();  // the probes' and pictures' blocks
            return;
        }
        next->SetSource(path);
        if (!next->sourceSet()) return;  // a card already let go: it takes nothing
        if (!next->examined()) {
            examinedId_ = itemId;
            examining_ = true;
            return;
        }
        // A file gone is examined at once, with no worker to report it.
        listeners_.tell([&](VideoLibraryListener& l) { l.onCardChanged(itemId); });
    }
}

void VideoLibrary::resumeExamination() {
    // The card waited for was deleted: its report will not come.
    if (!examinedId_.empty() && !card(examinedId_)) examineNext();
}

void VideoLibrary::onExamined(const std::string& itemId, bool unexaminable) {
    post([itemId, unexaminable](VideoLibrary& library) {
        auto card = library.card(itemId);
        if (!card) {
            library.resumeExamination();
            return;
        }
        {
            std::lock_guard lock(library.itemsMutex_);
            for (auto& item : library.items_) {
                if (item.itemId != itemId) continue;
                item.path = card->path();
                item.key = card->key();
                item.name = card->name();
            }
        }
        auto back = std::find(library.returning_.begin(), library.returning_.end(), itemId);
        if (back != library.returning_.end()) {
            library.returning_.erase(back);
            // Its thumbnail was not made while the file was away.
            if (!unexaminable && !card->key().empty())
                card->SetThumbnail(library.context_.thumbnailPathFor(card->key()));
        }
        if (unexaminable) {
            library.DeleteUnexaminable(itemId);
        } else {
            library.listeners_.tell([&](VideoLibraryListener& l) { l.onCardChanged(itemId); });
        }
        if (itemId == library.examinedId_) library.examineNext();
    });
}

void VideoLibrary::onThumbnail(const std::string& itemId, bool made) {
    post([itemId, made](VideoLibrary& library) {
        auto card = library.card(itemId);
        if (!card || !made) return;  // without a picture the placeholder stays
        card->SetThumbnail(card->thumbnailPath());
        library.listeners_.tell([&](VideoLibraryListener& l) { l.onCardChanged(itemId); });
    });
}

QueueOutcome VideoLibrary::QueueConversion() {
    // A snapshot: other events run while a question waits for its answer.
    batch_ = Batch{items(), 0, {}};
    return runBatch(std::nullopt);
}

QueueOutcome VideoLibrary::AnswerDuplicate(DuplicateAnswer answer) {
    if (!batch_) return {};
    return runBatch(answer);
}

// The answer belongs to the card the batch stopped at.
QueueOutcome VideoLibrary::runBatch(std::optional<DuplicateAnswer> answer) {
    Batch& batch = *batch_;
    for (; batch.next < batch.items.size(); ++batch.next, answer.reset()) {
        const VIDEOINFO_ST& item = batch.items[batch.next];
        if (!item.card->checked()) continue;
        std::string shown;
        const QueueStep step = queueOne(item, batch.sent, answer, shown);
        if (step == QueueStep::Asking) return QueueOutcome{std::move(shown), false};
        if (step == QueueStep::Closed) break;
        if (step == QueueStep::Sent) batch.sent.push_back(item.itemId);
    }
    const bool queued = !batch.sent.empty();
    batch_.reset();
    return QueueOutcome{std::nullopt, queued};
}

bool VideoLibrary::inFlight(const VIDEOINFO_ST& item, const std::vector<std::string>& sent) const {
    CardKind kind = KindOf(item);
    return kind == KIND_WAITING || kind == KIND_CONVERTING ||
           std::find(sent.begin(), sent.end(), item.itemId) != sent.end();
}

std::vector<std::string> VideoLibrary::claimedOutputs(const std::vector<std::string>& sent) const {
    // Outputs that tasks not yet finished will write: a name two tasks
    // share would have the second overwrite the first.
    std::vector<std::string> names;
    for (const VIDEOINFO_ST& item : items()) {
        if (!inFlight(item, sent)) continue;
        names.push_back(item.outputName.empty() ? ConvertedFileName(item.name) : item.outputName);
    }
    return names;
}

int VideoLibrary::conversionRefusal(const std::string& outputPath,
                                    const std::vector<std::string>& sent) const {
    // Its output joins the converted list: one that list cannot take would
    // be a card no phone sees.
    if (outputPath.size() > Catalogue::kMaxPathBytes) return TOAST_NAME_TOO_LONG;
    if (!context_.catalogue) return 0;
    auto all = items();
    const auto pending = static_cast<std::size_t>(std::count_if(
        all.begin(), all.end(), [&](const auto& item) { return inFlight(item, sent); }));
    return countInList(Catalogue::kConvertedList) + pending >= Catalogue::kListCapacity ? TOAST_FULL
                                                                                        : 0;
}

void VideoLibrary::skipConversion(const VIDEOINFO_ST& item) {
    item.card->setChecked(false);
    listeners_.tell([&](VideoLibraryListener& l) { l.onCardChanged(item.itemId); });
}

VideoLibrary::QueueStep VideoLibrary::queueOne(const VIDEOINFO_ST& item,
                                               const std::vector<std::string>& sent,
                                               std::optional<DuplicateAnswer> answer,
                                               std::string& shown) {
    VideoCard& card = *item.card;
    CardKind kind = KindOf(item);
    // Waiting and converting cards have their task already.
    if (kind == KIND_CONVERTED || kind == KIND_MISSING || kind == KIND_WAITING ||
        kind == KIND_CONVERTING || HasConversionRecord(card.path())) {
        skipConversion(item);
        return QueueStep::Skipped;
    }
    std::string name = card.name();
    std::string path = card.path();
    // The name the output will have decides whether it collides.
    std::string outputName;
    std::string converted = ConvertedFileName(name);
    std::vector<std::string> claimed = claimedOutputs(sent);
    if (outputTaken(converted, claimed)) {
        if (!answer) {
            shown =
                utf16Length(converted) > 10 ? truncateUtf16Units(converted, 10) + "..." : converted;
            return QueueStep::Asking;
        }
        if (*answer == ANSWER_CLOSED) return QueueStep::Closed;
        if (*answer != ANSWER_CONTINUE) {
            skipConversion(item);
            return QueueStep::Skipped;
        }
        outputName = uniqueOutputName(converted, claimed);
    }
    if (!pathExists(path)) {
        card.setChecked(false);
        card.markMissing();
        listeners_.tell([&](VideoLibraryListener& l) { l.onCardChanged(item.itemId); });
        return QueueStep::Skipped;
    }
    std::string outputPath =
        ConvertedOutputPath(context_.convertFolder(), outputName.empty() ? converted : outputName);
    if (int refusal = conversionRefusal(outputPath, sent)) {
        toast(refusal);
        skipConversion(item);
        return QueueStep::Skipped;
    }
    MediaProbeResult probe = card.probe();
    ConversionRequest request{
        path,           card.thumbnailPath(), outputName.empty() ? name : outputName,
        probe.fileSize, probe.duration,       probe.width,
        probe.height};
    std::string taskKey =
        context_.conversions ? context_.conversions->enqueue(request) : std::string();
    std::lock_guard lock(itemsMutex_);
    for (auto& stored : items_) {
        if (stored.itemId != item.itemId) continue;
        stored.name = name;
        stored.outputName = outputName;
        stored.taskKey = taskKey;
    }
    return QueueStep::Sent;
}

bool VideoLibrary::outputTaken(const std::string& name,
                               const std::vector<std::string>& claimed) const {
    return pathExists(context_.convertFolder() + "/" + name) ||
           std::find(claimed.begin(), claimed.end(), name) != claimed.end();
}

std::string VideoLibrary::uniqueOutputName(const std::string& name,
                                           const std::vector<std::string>& claimed) const {
    auto dot = name.rfind('.');
    std::string base = dot == std::string::npos ? name : name.substr(0, dot);
    std::string extension = dot == std::string::npos ? "" : name.substr(dot);
    for (int n = 1; n <= 999; ++n) {
        std::string candidate = base;
        candidate += '(';
        candidate += std::to_string(n);
        candidate += ')';
        candidate += extension;
        if (!outputTaken(candidate, claimed)) return candidate;
    }
    return base;
}

bool VideoLibrary::HasConversionRecord(const std::string& path) const {
    std::string source = forwardSlashes(path);
    return std::any_of(relations_.begin(), relations_.end(),
                       [&](const auto& r) { return r.VideoSrcPath == source; });
}

// A task names its source by its full path: the output's name may differ
// from the source's (clip.avi gives clip.mp4, a kept duplicate a(1).mp4),
// and two folders may hold the same name.
void VideoLibrary::tellSourceChanged(const std::string& sourcePath) {
    std::string itemId;
    {
        std::lock_guard lock(itemsMutex_);
        auto at = findByPath(sourcePath);
        if (at == items_.end()) return;
        itemId = at->itemId;
    }
    listeners_.tell([&](VideoLibraryListener& l) { l.onCardChanged(itemId); });
}

void VideoLibrary::OnTaskChanged(const std::string& sourcePath) {
    if (ConversionPort* port = context_.conversions) {
        std::lock_guard lock(itemsMutex_);
        auto at = findByPath(sourcePath);
        if (at != items_.end() && port->phase(at->taskKey) == TaskPhase::None) {
            std::string live = port->liveTask(sourcePath);
            if (!live.empty()) at->taskKey = std::move(live);
        }
    }
    tellSourceChanged(sourcePath);
}

CardKind VideoLibrary::KindOf(const VIDEOINFO_ST& item) const {
    const CardKind own = item.card->kind();
    // A converted or missing card is not the queue's to change.
    if (own != KIND_PLAIN || !context_.conversions) return own;
    switch (context_.conversions->phase(item.taskKey)) {
        case TaskPhase::Waiting:
            return KIND_WAITING;
        case TaskPhase::Running:
            return KIND_CONVERTING;
        case TaskPhase::Interrupted:
            return KIND_INTERRUPTED;
        case TaskPhase::None:
            break;
    }
    return own;
}

void VideoLibrary::OnConverted(const std::string& sourcePath, const std::string& outputPath) {
    tellSourceChanged(sourcePath);
    std::string name = fileNamePart(outputPath);
    if (findByPath(outputPath) == items_.end()) {
        auto source = findByPath(sourcePath);
        std::size_t at = source == items_.end()
                             ? SIZE_MAX
                             : static_cast<std::size_t>(source - items_.begin()) + 1;
        VIDEOINFO_ST& item = appendItem(outputPath, KIND_CONVERTED, at);
        item.card->SetSource(outputPath);
    }
    listeners_.tell([&](VideoLibraryListener& l) { l.onConversionBalloon(name); });
    // Told again at start for an output an exit kept from the queue's file.
    VIDEO_RELATION_ST relation{forwardSlashes(sourcePath), forwardSlashes(outputPath)};
    if (std::none_of(relations_.begin(), relations_.end(), [&](const auto& r) {
            return r.VideoSrcPath == relation.VideoSrcPath &&
                   r.VideoTargetPath == relation.VideoTargetPath;
        })) {
        relations_.push_back(std::move(relation));
    }
    SaveRelations();
    listeners_.tell([&](VideoLibraryListener& l) { l.onLibraryChanged(); });
}

void VideoLibrary::removeFromCatalogue(int list, const std::string& path) {
    if (context_.catalogue) context_.catalogue->removeFile(list, path);
}

void VideoLibrary::dropRelationOf(const std::string& targetPath) {
    auto at = std::find_if(relations_.begin(), relations_.end(),
                           [&](const auto& r) { return r.VideoTargetPath == targetPath; });
    if (at != relations_.end()) relations_.erase(at);
    SaveRelations();
}

void VideoLibrary::DeleteItems(bool deleteConvertedFiles) {
    std::vector<std::string> doomed;
    for (const VIDEOINFO_ST& item : items()) {
        VideoCard& card = *item.card;
        if (!card.checked()) continue;
        std::string path = card.path();
        switch (KindOf(item)) {
            case KIND_PLAIN:
                removeFromCatalogue(Catalogue::kSourceList, path);
                break;
            case KIND_WAITING:
            case KIND_INTERRUPTED:
            case KIND_CONVERTING:
                // The task goes (or stops) first: a card the queue still
                // holds must keep its catalogue entry. A queue that holds
                // none for it has finished with it already.
                if (context_.conversions) context_.conversions->remove(item.taskKey, path);
                removeFromCatalogue(Catalogue::kSourceList, path);
                break;
            case KIND_CONVERTED:
                removeFromCatalogue(Catalogue::kConvertedList, path);
                dropRelationOf(path);
                if (deleteConvertedFiles && !removeFile(path))
                    PostLog(path + " could not be deleted", kLogTag);
                break;
            case KIND_MISSING:
                if (card.previousKind() == KIND_PLAIN)
                    removeFromCatalogue(Catalogue::kSourceList, path);
                if (card.previousKind() == KIND_CONVERTED)
                    removeFromCatalogue(Catalogue::kConvertedList, path);
                break;
            default:
                break;
        }
        doomed.push_back(item.itemId);
    }
    std::vector<VIDEOINFO_ST> removed;
    {
        std::lock_guard lock(itemsMutex_);
        for (auto it = items_.begin(); it != items_.end();) {
            if (std::find(doomed.begin(), doomed.end(), it->itemId) != doomed.end()) {
                removed.push_back(std::move(*it));
                it = items_.erase(it);
            } else {
                ++it;
            }
        }
    }
    for (auto& item : removed) item.card->shutDown();  // outside the lock
    resumeExamination();
    listeners_.tell([&](VideoLibraryListener& l) { l.onLibraryChanged(); });
}

void VideoLibrary::OnFileStatus(const std::string& path, bool exists) {
    if (!exists || closing_) return;
    std::shared_ptr<VideoCard> card;
    std::string itemId;
    {
        std::lock_guard lock(itemsMutex_);
        auto at = findByPath(path);
        if (at == items_.end()) return;
        card = at->card;
        itemId = at->itemId;
    }
    comeBack(itemId, card);
}

void VideoLibrary::RecheckFiles() {
    applyPresence(lookForFiles());
}

VideoLibrary::Presence VideoLibrary::lookForFiles() const {
    Presence presence;
    for (const VIDEOINFO_ST& item : items()) {
        const std::string path = item.card->path();
        std::optional<bool> there;
        if (isRegularFile(path)) there = true;
        // Only a file surely gone: a folder that cannot be read says nothing.
        else if (pathIsAbsent(path))
            there = false;
        presence.emplace_back(item.itemId, there);
    }
    return presence;
}

void VideoLibrary::applyPresence(const Presence& presence) {
    if (closing_) return;
    for (const auto& look : presence) {
        const std::string& itemId = look.first;
        const std::optional<bool>& there = look.second;
        std::shared_ptr<VideoCard> card = this->card(itemId);
        if (!card || !there) continue;
        if (*there) {
            comeBack(itemId, card);
        } else if ((card->kind() == KIND_PLAIN || card->kind() == KIND_CONVERTED) &&
                   card->examined()) {
            card->markMissing();
            listeners_.tell([&](VideoLibraryListener& l) { l.onCardChanged(itemId); });
        }
    }
}

// The stats run here, not on the library's thread: a network share that
// stopped answering may hold one for many seconds.
void VideoLibrary::watchFiles() {
    std::unique_lock lock(watchMutex_);
    while (!watchWake_.wait_for(lock, context_.recheckEvery, [this] { return watchStop_; })) {
        lock.unlock();
        post([presence = lookForFiles()](VideoLibrary& library) {
            library.applyPresence(presence);
        });
        lock.lock();
    }
}

void VideoLibrary::comeBack(const std::string& itemId, const std::shared_ptr<VideoCard>& card) {
    if (card->kind() != KIND_MISSING || !isRegularFile(card->path())) return;
    if (!card->Reexamine()) return;
    returning_.push_back(itemId);
    listeners_.tell([&](VideoLibraryListener& l) { l.onCardChanged(itemId); });
}

void VideoLibrary::DeleteUnexaminable(const std::string& itemId) {
    std::shared_ptr<VideoCard> card = this->card(itemId);
    if (!card) return;
    std::string path = card->path();
    if (card->kind() == KIND_PLAIN) removeFromCatalogue(Catalogue::kSourceList, path);
    if (card->kind() == KIND_CONVERTED) {
        removeFromCatalogue(Catalogue::kConvertedList, path);
        dropRelationOf(path);
    }
    VIDEOINFO_ST removed;
    {
        std::lock_guard lock(itemsMutex_);
        auto at = std::find_if(items_.begin(), items_.end(),
                               [&](const auto& item) { return item.itemId == itemId; });
        if (at == items_.end()) return;
        removed = std::move(*at);
        items_.erase(at);
    }
    card->shutDown();
    resumeExamination();
    listeners_.tell([&](VideoLibraryListener& l) {
        l.onLibraryChanged();
        l.onUnexaminable(fileNamePart(path));
    });
}

void VideoLibrary::SetAllChecked(bool on) {
    for (const VIDEOINFO_ST& item : items()) {
        if (item.card->checked() == on) continue;
        item.card->setChecked(on);
        listeners_.tell([&](VideoLibraryListener& l) { l.onCardChanged(item.itemId); });
    }
}

void VideoLibrary::ToggleChecked(const std::string& itemId) {
    auto card = this->card(itemId);
    if (!card || !card->examined()) return;  // a card reacts only once examined
    card->setChecked(!card->checked());
    listeners_.tell([&](VideoLibraryListener& l) { l.onCardChanged(itemId); });
}

std::vector<VIDEOINFO_ST> VideoLibrary::items() const {
    std::lock_guard lock(itemsMutex_);
    return items_;
}

std::shared_ptr<VideoCard> VideoLibrary::card(const std::string& itemId) const {
    std::lock_guard lock(itemsMutex_);
    for (const auto& item : items_) {
        if (item.itemId == itemId) return item.card;
    }
    return nullptr;
}

std::vector<VIDEOINFO_ST>::iterator VideoLibrary::findByPath(const std::string& path) {
    return std::find_if(items_.begin(), items_.end(),
                        [&](const auto& item) { return item.path == path; });
}

}  // namespace zorvex
