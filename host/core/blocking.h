#pragma once
// Work that waits on something outside the process (a call to the application server) while the
// user interface must stay alive. Everything runs on the user-interface thread; a toolkit installs
// a runner that does the work elsewhere while it keeps painting, moves the wait animation and
// refuses the user's input, and returns when the work is done. Without a runner the work simply
// runs. The work must not touch the UI model: it only waits and computes.
#include <functional>

namespace ger::blocking {

using Work = std::function<void()>;
using Runner = std::function<void(const Work& work)>;

// Installs the runner (an empty one removes it); the previous one is returned.
Runner SetRunner(Runner runner);
// Runs the work through the runner; an exception of the work reaches the caller.
void Run(const Work& work);

}  // namespace ger::blocking
