#pragma once

#include <functional>

namespace vork {

// The one way to wait on the main thread: a nested event loop that keeps
// sockets, timers and the window alive, and always ends at its time limit.
namespace wait {

// Waits ms milliseconds while handling events.
void delay(int ms);
// The classic pump delay: n × 10 ms.
void pump(int n);
// Waits until done() holds or ms milliseconds have passed; done() is checked
// after every batch of handled events and at least every pollMs. Returns done().
bool until(const std::function<bool()> &done, int ms, int pollMs = 5);

} // namespace wait
} // namespace vork
