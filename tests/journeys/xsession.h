#pragma once
// A real X server for the journeys: Xvfb started with its own authority cookie, and what a user
// does through it — keys, text and mouse clicks sent as XTest input events — and sees: the
// top-level windows on the screen with their titles, and a picture of the whole screen.
#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

struct _XDisplay;

namespace journey {

// A child process started with extra environment, its output into a log file; killed with the
// object (and with this process, however it ends).
class Child {
 public:
  Child(std::vector<std::string> argv, const std::map<std::string, std::string>& env,
        const std::filesystem::path& log);
  ~Child();
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;
  pid_t Pid() const { return pid_; }
  // False once it ended; `status` then holds its exit status (-1 when a signal ended it).
  bool Running(int* status = nullptr);
  // SIGTERM, SIGKILL after `grace`; the exit status, -1 when killed by a signal.
  int Stop(std::chrono::milliseconds grace = std::chrono::seconds(3));

 private:
  pid_t pid_ = -1;
  int status_ = -1;
};

struct Window {
  unsigned long id = 0;
  std::string title;
  int x = 0, y = 0, width = 0, height = 0;
  bool popup = false;    // override-redirect: a menu, a list's drop-down, a tooltip
  bool tooltip = false;  // a tooltip, which comes and goes with the pointer
};

class XSession {
 public:
  // Starts Xvfb on a free display with a screen of the given size; std::runtime_error when it
  // does not come up.
  XSession(const std::filesystem::path& dir, int width = 1024, int height = 768);
  ~XSession();
  XSession(const XSession&) = delete;
  XSession& operator=(const XSession&) = delete;

  // DISPLAY and XAUTHORITY for the programs that draw on it.
  std::map<std::string, std::string> Environment() const;

  // A key with modifiers, as "Alt+m", "ctrl+v", "shift+Tab", "Return", "F10", "Down".
  void Key(const std::string& combo);
  // UTF-8 text, one key (with Shift where the character needs it) per character; characters
  // the keyboard map lacks are put on a spare key for the moment.
  void Type(const std::string& text);
  void Click(int x, int y, int button = 1);
  void DoubleClick(int x, int y);
  void MoveTo(int x, int y);
  // What a window manager sends when the user clicks a window's close box (there is none on this
  // bare server to click).
  void CloseBox(const Window& window);
  // What a window manager does when the user clicks into a window: raises it and gives it the
  // keyboard.
  void Activate(const Window& window);
  // Puts a top-level window at a place of the screen, as the user dragging it there.
  void Move(const Window& window, int x, int y);

  // The text on the clipboard, which is then left empty so that the next copy cannot be mistaken
  // for this one; nullopt when nothing was copied (or its owner did not answer in `timeout`).
  std::optional<std::string> TakeClipboard(
      std::chrono::milliseconds timeout = std::chrono::seconds(3));

  // The mapped top-level windows, bottom to top.
  std::vector<Window> Windows();
  // Polls the windows until `found` answers one, or nothing after `timeout`.
  std::optional<Window> WaitFor(const std::function<bool(const Window&)>& found,
                                std::chrono::milliseconds timeout = std::chrono::seconds(10));
  // Waits until no window `found` answers is shown; false when one still is after `timeout`.
  bool WaitGone(const std::function<bool(const Window&)>& found,
                std::chrono::milliseconds timeout = std::chrono::seconds(10));
  // The whole screen as a PNG file.
  bool Screenshot(const std::filesystem::path& file);

 private:
  void KeyCode(unsigned keycode, bool down);
  unsigned KeyFor(unsigned long keysym, bool& shift);
  void Flush();
  pid_t xvfbPid_ = -1;
  std::filesystem::path auth_;
  std::string display_;
  _XDisplay* x_ = nullptr;
  int spare_ = 0;  // a keycode without symbols, for characters the map lacks
};

}  // namespace journey
