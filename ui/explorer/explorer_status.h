#pragma once

// What the explorer's status line says about the limit of the picture it
// shows: chosen by the automatic rule (and why), or the one the user typed.

#include <QString>
#include <cstdint>

#include "explore/auto_limit.h"

namespace mandel_ui {

enum class LimitState {
    Kept,            // the rule kept it
    Raised,          // raised for the boundary, or because nothing escaped
    Lowered,         // the rule lowered it
    Inside,          // nothing escaped and the interior check found the inside
    CeilingReached,  // nothing escaped up to the rule's ceiling
    MemoryCapped,    // the rule asked for more than the memory budget allows
    RaisesEnded,     // the run of raises after one gesture ended
    Typed,           // the user's own limit (the automatic rule is off)
};

LimitState limitStateOf(mandel::LimitReason reason);

// "上限 4,000（自動: 下げました）", "上限 1,000（入力値、自動は切）".
QString limitStatusText(std::int64_t limit, LimitState state);

}  // namespace mandel_ui
