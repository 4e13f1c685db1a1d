#include "explorer_finder.h"

#include <QElapsedTimer>
#include <QMetaObject>
#include <QPointer>
#include <atomic>
#include <exception>
#include <mutex>
#include <thread>

#include "explorer_drawing.h"

namespace mandel_ui {

// One search's state, shared by its thread and the finder: the thread may
// outlive the finder, which then only sets cancel and forgets it.
struct ExplorerFinder::Search {
    std::atomic<bool> cancel{false};
    std::mutex mutex;
    ExplorerFinder* receiver = nullptr;  // guarded by mutex; null once dropped
};

ExplorerFinder::ExplorerFinder(QObject* parent) : QObject(parent) {}

ExplorerFinder::~ExplorerFinder() { cancel(); }

void ExplorerFinder::cancel() {
    if (!search_) return;
    {
        std::lock_guard lock(search_->mutex);
        search_->receiver = nullptr;
    }
    search_->cancel = true;
    search_.reset();
    running_ = false;
}

void ExplorerFinder::start(mandel::FoundKind kind, const mandel::ExploreLocation& from,
                           const mandel::PixelPoint& point) {
    cancel();
    auto search = std::make_shared<Search>();
    search->receiver = this;
    search_ = search;
    running_ = true;
    ExplorerDrawing::workerStarted();
    std::thread([search, kind, from, point] {
        QElapsedTimer clock;
        clock.start();
        FindAnswer answer;
        answer.kind = kind;
        answer.from = from;
        try {
            answer.point = mandel::findNear(kind, from, point, &search->cancel);
        } catch (const std::exception&) {
            // Out of memory or a text the engine refused: nothing found.
        }
        answer.milliseconds = static_cast<double>(clock.nsecsElapsed()) / 1e6;
        {
            std::lock_guard lock(search->mutex);
            if (search->receiver != nullptr && !search->cancel) {
                ExplorerFinder* receiver = search->receiver;
                QMetaObject::invokeMethod(
                    receiver,
                    [receiver, search, answer] {
                        // Dropped when a newer search started or this one was cancelled.
                        if (receiver->search_ != search) return;
                        receiver->running_ = false;
                        receiver->search_.reset();
                        emit receiver->answered(answer);
                    },
                    Qt::QueuedConnection);
            }
        }
        ExplorerDrawing::workerEnded();
    }).detach();
}

}  // namespace mandel_ui
