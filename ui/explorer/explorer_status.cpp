#include "explorer_status.h"

#include "explorer_input.h"

namespace mandel_ui {

LimitState limitStateOf(mandel::LimitReason reason) {
    switch (reason) {
        case mandel::LimitReason::Kept: return LimitState::Kept;
        case mandel::LimitReason::RaisedForBoundary:
        case mandel::LimitReason::RaisedBlind: return LimitState::Raised;
        case mandel::LimitReason::Lowered: return LimitState::Lowered;
        case mandel::LimitReason::Inside: return LimitState::Inside;
        case mandel::LimitReason::CeilingReached: return LimitState::CeilingReached;
    }
    return LimitState::Kept;
}

QString limitStatusText(std::int64_t limit, LimitState state) {
    QString why;
    switch (state) {
        case LimitState::Kept: why = QStringLiteral("自動"); break;
        case LimitState::Raised: why = QStringLiteral("自動: 上げました"); break;
        case LimitState::Lowered: why = QStringLiteral("自動: 下げました"); break;
        case LimitState::Inside: why = QStringLiteral("自動: 集合の内部（吸引周期あり）"); break;
        case LimitState::CeilingReached:
            why = QStringLiteral("自動: 天井 %1 まで脱出なし").arg(groupedNumber(mandel::kBlindRiseCeiling));
            break;
        case LimitState::MemoryCapped: why = QStringLiteral("自動: メモリのためこれ以上上げません"); break;
        case LimitState::RaisesEnded: why = QStringLiteral("自動: 上げる回数の上限"); break;
        case LimitState::Typed: why = QStringLiteral("入力値、自動は切"); break;
    }
    return QStringLiteral("上限 %1（%2）").arg(groupedNumber(limit), why);
}

}  // namespace mandel_ui
