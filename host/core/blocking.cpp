#include "core/blocking.h"

#include <utility>

namespace ger::blocking {

namespace {
Runner& Current() {
  static Runner runner;
  return runner;
}
}  // namespace

Runner SetRunner(Runner runner) {
  return std::exchange(Current(), std::move(runner));
}

void Run(const Work& work) {
  // A runner already running work (a dialog painted meanwhile that calls again) runs it plainly.
  static bool running = false;
  if (!Current() || running) {
    work();
    return;
  }
  running = true;
  try {
    Current()(work);
  } catch (...) {
    running = false;
    throw;
  }
  running = false;
}

}  // namespace ger::blocking
