#pragma once

// Shared by the explorer window's tests: a location from its four texts, and
// waiting for a signal.

#include <QCoreApplication>
#include <QSignalSpy>
#include <string>

#include "explore/explore_location.h"

namespace test {

// The location the explorer's fields would read from these texts; a text
// that does not read stops the test program at once.
inline mandel::ExploreLocation location(const char* real, const char* imag, const char* side, int limit) {
    const auto reading = mandel::parseEditedTexts({real, imag, side, std::to_string(limit)}, 0);
    if (!reading.ok) qFatal("bad test location: %s", reading.problem.c_str());
    return reading.location;
}

// Runs the event loop until the signal has come `count` times (no time limit:
// a test must not depend on the machine's speed).
inline void waitFor(QSignalSpy& spy, qsizetype count = 1) {
    while (spy.size() < count) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

}  // namespace test
