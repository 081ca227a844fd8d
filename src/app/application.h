#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/startup.h"
#include "front/front.h"
#include "library/video_library.h"
#include "transcode/conversion_queue.h"
#include "update/http_helper.h"

namespace zorvex {

// What the window and the headless runner share, built in one place: the
// start-up sequence (working folders, settings, log, the LAN service and its
// catalogue), the video library and the conversion queue wired to each
// other, the keep-awake request and the version check.
//
// The wiring: conversion requests of the library become tasks of the queue
// (through the library's ConversionPort), the queue's events and finished
// conversions reach the library (a subscription made before any front end
// subscribes, so the library has changed when a front end hears them). A
// front end subscribes to the library and the queue for what it shows.
//
// Threads: everything here belongs to the runner's main thread, whose
// executor the library, the queue and the file status reports run on. The
// executor must outlive shutDown, which joins every worker that posts to it.
class Application final {
public:
    struct Options {
        std::string home;
        std::vector<std::string> addresses;  // --address; empty: the machine's adapters
        Executor* executor = nullptr;        // the runner's main thread
        FileStatusManager::Receiver onFileStatus;
        // The FFmpeg of thumbnails and conversions; empty: the one shipped
        // beside the program, else the system's (benchmarks choose one).
        std::function<FfmpegTool()> ffmpeg;
    };

    Application() = default;
    ~Application();  // shutDown
    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;

    // The start-up sequence, then the library, the queue and the version
    // check. Fails, with nothing started, when the home folder or the
    // document root cannot be used.
    StartupResult start(const Options& options);
    // The relations, the cards of the catalogue (examined one by one), and
    // the finished conversions of ConvertList.xml. Called once, after the
    // front end has subscribed.
    void restore();
    // The library closes, running conversions stop quietly, the library and
    // the queue go (their workers joined), then the shutdown sequence: log
    // thread, LAN service (its link files rewritten), keep-awake. Idempotent.
    void shutDown();

    bool started() const { return library_ != nullptr; }
    const std::string& home() const { return home_; }
    AppCore& core() { return core_; }
    Service& service() { return *core_.service; }
    VideoLibrary& library() { return *library_; }
    ConversionQueue& queue() { return *queue_; }
    HttpHelper& updates() { return *updates_; }
    // The update module's settings, for the version check and the download.
    const UpdateContext& updateContext() const { return updateContext_; }
    // What a front over this application drives: every part (started only).
    FrontParts frontParts();

private:
    std::string home_;
    AppCore core_;
    UpdateContext updateContext_;
    bool shutDown_ = false;
    // Destroyed before the core: their workers use the catalogue.
    std::unique_ptr<HttpHelper> updates_;
    std::unique_ptr<VideoLibrary> library_;
    std::unique_ptr<ConversionQueue> queue_;
    std::unique_ptr<ConversionPort> conversions_;
    std::unique_ptr<ConversionQueueListener> libraryFeed_;
    const std::shared_ptr<Application*> self_ = std::make_shared<Application*>(this);
};

}  // namespace zorvex
