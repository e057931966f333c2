#pragma once

#include <QString>

#include <functional>

class QEvent;
class QHeaderView;

namespace vork {

// A grid header whose columns may carry a hint: a hand pointer over those
// columns and the hint as a tooltip. Call from an event filter on the header's
// viewport; true when the event was taken.
bool headerHintEvent(QHeaderView *header, QEvent *event, const std::function<QString(int column)> &hint);

} // namespace vork
