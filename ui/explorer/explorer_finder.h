#pragma once

// The explorer's find gesture off the GUI thread: a search for a minibrot or
// a Misiurewicz point near a pixel (explore/find_and_go.h) on a thread of its
// own, cancelled by the next search, by cancel() or by destroying this
// object; the answer comes back on the GUI thread through the signals.

#include <QObject>
#include <QString>
#include <cstdint>
#include <memory>
#include <optional>

#include "explore/explore_location.h"
#include "explore/find_and_go.h"

namespace mandel_ui {

struct FindAnswer {
    mandel::FoundKind kind = mandel::FoundKind::Minibrot;
    std::optional<mandel::FoundPoint> point;  // nothing when none was found
    mandel::ExploreLocation from;             // the location searched in
    double milliseconds = 0;
};

class ExplorerFinder : public QObject {
    Q_OBJECT

public:
    explicit ExplorerFinder(QObject* parent = nullptr);
    ~ExplorerFinder() override;

    // Cancels a search in progress and starts this one: around the point
    // within the view's side / kSearchRadiusDivisor (explore/find_and_go.h).
    void start(mandel::FoundKind kind, const mandel::ExploreLocation& from, const mandel::PixelPoint& point);
    void cancel();
    bool running() const { return running_; }

signals:
    void answered(const FindAnswer& answer);

private:
    struct Search;
    std::shared_ptr<Search> search_;
    bool running_ = false;
};

}  // namespace mandel_ui
