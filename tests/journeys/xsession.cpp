#include "xsession.h"

#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <random>
#include <sstream>
#include <stdexcept>
#include <thread>

#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb_image_write.h>

namespace journey {

using namespace std::chrono_literals;

// --- Child ------------------------------------------------------------------------------------

namespace {

pid_t Spawn(const std::vector<std::string>& argv, const std::map<std::string, std::string>& env,
            const std::filesystem::path& log, int keepFd) {
  const pid_t parent = getpid();
  pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("cannot start " + argv.front() + " (fork failed)");
  if (pid == 0) {
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) _exit(127);
    int out = open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    if (out >= 0) {
      dup2(out, STDOUT_FILENO);
      dup2(out, STDERR_FILENO);
    }
    int null = open("/dev/null", O_RDONLY);
    if (null >= 0) dup2(null, STDIN_FILENO);
    if (keepFd >= 0) fcntl(keepFd, F_SETFD, 0);
    for (const auto& [name, value] : env) setenv(name.c_str(), value.c_str(), 1);
    std::vector<char*> cargv;
    for (const std::string& a : argv) cargv.push_back(const_cast<char*>(a.c_str()));
    cargv.push_back(nullptr);
    execvp(cargv[0], cargv.data());
    _exit(127);
  }
  return pid;
}

int StatusOf(int raw) {
  return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

// Runs a short program to its end; its exit status.
int Run(const std::vector<std::string>& argv, const std::filesystem::path& log) {
  pid_t pid = Spawn(argv, {}, log, -1);
  int raw = 0;
  if (waitpid(pid, &raw, 0) != pid) return -1;
  return StatusOf(raw);
}

}  // namespace

Child::Child(std::vector<std::string> argv, const std::map<std::string, std::string>& env,
             const std::filesystem::path& log)
    : pid_(Spawn(argv, env, log, -1)) {}

Child::~Child() {
  Stop(1s);
}

bool Child::Running(int* status) {
  if (pid_ > 0) {
    int raw = 0;
    if (waitpid(pid_, &raw, WNOHANG) == pid_) {
      status_ = StatusOf(raw);
      pid_ = -1;
    }
  }
  if (status) *status = status_;
  return pid_ > 0;
}

int Child::Stop(std::chrono::milliseconds grace) {
  if (!Running()) return status_;
  kill(pid_, SIGTERM);
  const auto deadline = std::chrono::steady_clock::now() + grace;
  while (Running() && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(20ms);
  if (Running()) {
    kill(pid_, SIGKILL);
    int raw = 0;
    waitpid(pid_, &raw, 0);
    pid_ = -1;
    status_ = -1;
  }
  return status_;
}

// --- XSession ---------------------------------------------------------------------------------

namespace {

int IgnoreErrors(Display*, XErrorEvent*) {
  return 0;  // a window that went between listing and reading it
}

std::string Cookie() {
  std::random_device random;
  std::ostringstream hex;
  for (int i = 0; i < 16; ++i) {
    char byte[3];
    std::snprintf(byte, sizeof byte, "%02x", static_cast<unsigned>(random() & 0xff));
    hex << byte;
  }
  return hex.str();
}

std::vector<char32_t> CodePoints(const std::string& text) {
  std::vector<char32_t> out;
  for (std::size_t i = 0; i < text.size();) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    int extra = c < 0x80 ? 0 : c < 0xE0 ? 1 : c < 0xF0 ? 2 : 3;
    char32_t cp = extra == 0 ? c : c & (0x3F >> extra);
    for (int k = 1; k <= extra && i + k < text.size(); ++k)
      cp = (cp << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
    out.push_back(cp);
    i += extra + 1;
  }
  return out;
}

}  // namespace

XSession::XSession(const std::filesystem::path& dir, int width, int height)
    : auth_(dir / "xauthority") {
  const std::filesystem::path log = dir / "xvfb.log";
  const std::string cookie = Cookie();
  // The server reads every cookie of its file, whatever display the entry names; the one for
  // the display it takes is added for the clients once it is known.
  if (Run({"xauth", "-q", "-f", auth_.string(), "add", ":0", ".", cookie}, log) != 0)
    throw std::runtime_error("xauth could not write " + auth_.string());
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) throw std::runtime_error("cannot create a pipe for Xvfb");
  pid_t pid = Spawn({"Xvfb", "-displayfd", std::to_string(fds[1]), "-screen", "0",
                     std::to_string(width) + "x" + std::to_string(height) + "x24", "-auth",
                     auth_.string(), "-nolisten", "tcp", "-noreset"},
                    {}, log, fds[1]);
  close(fds[1]);
  std::string number;
  const auto deadline = std::chrono::steady_clock::now() + 20s;
  while (std::chrono::steady_clock::now() < deadline) {
    pollfd p{fds[0], POLLIN, 0};
    if (poll(&p, 1, 200) <= 0) continue;
    char c;
    if (read(fds[0], &c, 1) != 1 || c == '\n') break;
    number.push_back(c);
  }
  close(fds[0]);
  if (number.empty()) {
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    throw std::runtime_error("Xvfb did not start; see " + log.string());
  }
  display_ = ":" + number;
  xvfbPid_ = pid;
  if (Run({"xauth", "-q", "-f", auth_.string(), "add", display_, ".", cookie}, log) != 0)
    throw std::runtime_error("xauth could not write " + auth_.string());
  setenv("XAUTHORITY", auth_.c_str(), 1);
  x_ = XOpenDisplay(display_.c_str());
  if (!x_) throw std::runtime_error("cannot open the display " + display_);
  XSetErrorHandler(IgnoreErrors);
  int event, error, major, minor;
  if (!XTestQueryExtension(x_, &event, &error, &major, &minor))
    throw std::runtime_error("the X server has no XTest extension");
  int low = 0, high = 0;
  XDisplayKeycodes(x_, &low, &high);
  int per = 0;
  KeySym* map = XGetKeyboardMapping(x_, static_cast<::KeyCode>(low), high - low + 1, &per);
  for (int code = high; code >= low && !spare_; --code) {
    bool empty = true;
    for (int k = 0; k < per; ++k)
      if (map[(code - low) * per + k] != NoSymbol) empty = false;
    if (empty) spare_ = code;
  }
  XFree(map);
}

XSession::~XSession() {
  if (x_) XCloseDisplay(x_);
  if (xvfbPid_ > 0) {
    kill(xvfbPid_, SIGTERM);
    for (int i = 0; i < 100; ++i) {
      if (waitpid(xvfbPid_, nullptr, WNOHANG) == xvfbPid_) return;
      std::this_thread::sleep_for(20ms);
    }
    kill(xvfbPid_, SIGKILL);
    waitpid(xvfbPid_, nullptr, 0);
  }
}

std::map<std::string, std::string> XSession::Environment() const {
  return {{"DISPLAY", display_}, {"XAUTHORITY", auth_.string()}};
}

void XSession::Flush() {
  XSync(x_, False);
}

void XSession::KeyCode(unsigned keycode, bool down) {
  XTestFakeKeyEvent(x_, keycode, down ? True : False, CurrentTime);
  Flush();
  std::this_thread::sleep_for(8ms);
}

unsigned XSession::KeyFor(unsigned long keysym, bool& shift) {
  int low = 0, high = 0, per = 0;
  XDisplayKeycodes(x_, &low, &high);
  KeySym* map = XGetKeyboardMapping(x_, static_cast<::KeyCode>(low), high - low + 1, &per);
  unsigned found = 0;
  for (int code = low; code <= high && !found; ++code)
    for (int k = 0; k < std::min(per, 2) && !found; ++k)
      if (map[(code - low) * per + k] == keysym && code != spare_) {
        found = static_cast<unsigned>(code);
        shift = k == 1;
      }
  XFree(map);
  if (found) return found;
  if (!spare_) throw std::runtime_error("no spare key for a character the keyboard lacks");
  KeySym both[2] = {keysym, keysym};
  XChangeKeyboardMapping(x_, spare_, 2, both, 1);
  Flush();
  std::this_thread::sleep_for(60ms);  // the programs read the new map first
  shift = false;
  return static_cast<unsigned>(spare_);
}

void XSession::Key(const std::string& combo) {
  std::vector<std::string> parts;
  std::stringstream in(combo);
  for (std::string part; std::getline(in, part, '+');) parts.push_back(part);
  std::vector<unsigned> held;
  auto lower = [](std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
  };
  for (std::size_t i = 0; i + 1 < parts.size(); ++i) {
    const std::string m = lower(parts[i]);
    const char* name = m == "alt" ? "Alt_L" : m == "ctrl" ? "Control_L" : "Shift_L";
    held.push_back(XKeysymToKeycode(x_, XStringToKeysym(name)));
  }
  std::string last = parts.back();
  if (last.size() == 1) last = lower(last);
  KeySym sym = XStringToKeysym(last.c_str());
  if (sym == NoSymbol) throw std::invalid_argument("no such key: " + last);
  bool shift = false;
  unsigned code = KeyFor(sym, shift);
  for (unsigned m : held) KeyCode(m, true);
  KeyCode(code, true);
  KeyCode(code, false);
  for (auto it = held.rbegin(); it != held.rend(); ++it) KeyCode(*it, false);
  std::this_thread::sleep_for(40ms);
}

void XSession::Type(const std::string& text) {
  const unsigned shiftKey = XKeysymToKeycode(x_, XK_Shift_L);
  for (char32_t cp : CodePoints(text)) {
    KeySym sym = cp == '\n'   ? XK_Return
                 : cp == '\t' ? XK_Tab
                 : cp < 0x100 ? static_cast<KeySym>(cp)
                              : static_cast<KeySym>(0x1000000 + cp);
    bool shift = false;
    unsigned code = KeyFor(sym, shift);
    if (shift) KeyCode(shiftKey, true);
    KeyCode(code, true);
    KeyCode(code, false);
    if (shift) KeyCode(shiftKey, false);
  }
  std::this_thread::sleep_for(40ms);
}

void XSession::MoveTo(int x, int y) {
  XTestFakeMotionEvent(x_, -1, x, y, CurrentTime);
  Flush();
  std::this_thread::sleep_for(30ms);
}

void XSession::Click(int x, int y, int button) {
  MoveTo(x, y);
  XTestFakeButtonEvent(x_, static_cast<unsigned>(button), True, CurrentTime);
  Flush();
  std::this_thread::sleep_for(30ms);
  XTestFakeButtonEvent(x_, static_cast<unsigned>(button), False, CurrentTime);
  Flush();
  std::this_thread::sleep_for(80ms);
}

void XSession::DoubleClick(int x, int y) {
  MoveTo(x, y);
  for (int i = 0; i < 2; ++i) {
    XTestFakeButtonEvent(x_, 1, True, CurrentTime);
    Flush();
    XTestFakeButtonEvent(x_, 1, False, CurrentTime);
    Flush();
    std::this_thread::sleep_for(40ms);
  }
  std::this_thread::sleep_for(80ms);
}

void XSession::CloseBox(const Window& window) {
  XEvent event{};
  event.xclient.type = ClientMessage;
  event.xclient.window = window.id;
  event.xclient.message_type = XInternAtom(x_, "WM_PROTOCOLS", False);
  event.xclient.format = 32;
  event.xclient.data.l[0] = static_cast<long>(XInternAtom(x_, "WM_DELETE_WINDOW", False));
  event.xclient.data.l[1] = CurrentTime;
  XSendEvent(x_, window.id, False, NoEventMask, &event);
  Flush();
  std::this_thread::sleep_for(80ms);
}

void XSession::Activate(const Window& window) {
  XRaiseWindow(x_, window.id);
  XSetInputFocus(x_, window.id, RevertToParent, CurrentTime);
  Flush();
  std::this_thread::sleep_for(150ms);
}

void XSession::Move(const Window& window, int x, int y) {
  XMoveWindow(x_, window.id, x, y);
  Flush();
  std::this_thread::sleep_for(150ms);
}

std::optional<std::string> XSession::TakeClipboard(std::chrono::milliseconds timeout) {
  const Atom clipboard = XInternAtom(x_, "CLIPBOARD", False);
  if (XGetSelectionOwner(x_, clipboard) == None) return std::nullopt;
  const Atom utf8 = XInternAtom(x_, "UTF8_STRING", False);
  const Atom into = XInternAtom(x_, "GER_JOURNEY_CLIPBOARD", False);
  // An unmapped window of this connection to receive the text on.
  struct Requestor {
    _XDisplay* x;
    ::Window id;
    ~Requestor() { XDestroyWindow(x, id); }
  } requestor{x_, XCreateSimpleWindow(x_, DefaultRootWindow(x_), 0, 0, 1, 1, 0, 0, 0)};
  XConvertSelection(x_, clipboard, utf8, into, requestor.id, CurrentTime);
  Flush();
  XEvent event{};
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!XCheckTypedWindowEvent(x_, requestor.id, SelectionNotify, &event)) {
    if (std::chrono::steady_clock::now() >= deadline) return std::nullopt;
    std::this_thread::sleep_for(20ms);
  }
  if (event.xselection.property == None) return std::nullopt;
  Atom type = 0;
  int format = 0;
  unsigned long items = 0, after = 0;
  unsigned char* data = nullptr;
  std::optional<std::string> text;
  if (XGetWindowProperty(x_, requestor.id, into, 0, 1 << 20, True, AnyPropertyType, &type, &format,
                         &items, &after, &data) == Success &&
      data) {
    text.emplace(reinterpret_cast<char*>(data), items);
    XFree(data);
  }
  XSetSelectionOwner(x_, clipboard, None, CurrentTime);
  Flush();
  return text;
}

std::vector<Window> XSession::Windows() {
  std::vector<Window> out;
  ::Window root = DefaultRootWindow(x_), parent = 0, *children = nullptr;
  unsigned count = 0;
  if (!XQueryTree(x_, root, &root, &parent, &children, &count)) return out;
  const Atom netName = XInternAtom(x_, "_NET_WM_NAME", False);
  const Atom utf8 = XInternAtom(x_, "UTF8_STRING", False);
  const Atom windowType = XInternAtom(x_, "_NET_WM_WINDOW_TYPE", False);
  const Atom tooltip = XInternAtom(x_, "_NET_WM_WINDOW_TYPE_TOOLTIP", False);
  for (unsigned i = 0; i < count; ++i) {
    XWindowAttributes a{};
    if (!XGetWindowAttributes(x_, children[i], &a) || a.map_state != IsViewable) continue;
    Window w;
    w.id = children[i];
    w.x = a.x;
    w.y = a.y;
    w.width = a.width;
    w.height = a.height;
    w.popup = a.override_redirect;
    Atom type = 0;
    int format = 0;
    unsigned long items = 0, after = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(x_, children[i], windowType, 0, 16, False, XA_ATOM, &type, &format,
                           &items, &after, &data) == Success &&
        data) {
      const auto* atoms = reinterpret_cast<const Atom*>(data);
      for (unsigned long k = 0; k < items; ++k) w.tooltip = w.tooltip || atoms[k] == tooltip;
      XFree(data);
      data = nullptr;
    }
    if (XGetWindowProperty(x_, children[i], netName, 0, 1024, False, utf8, &type, &format, &items,
                           &after, &data) == Success &&
        data) {
      w.title.assign(reinterpret_cast<char*>(data), items);
      XFree(data);
    } else {
      char* name = nullptr;
      if (XFetchName(x_, children[i], &name) && name) {
        w.title = name;
        XFree(name);
      }
    }
    out.push_back(std::move(w));
  }
  if (children) XFree(children);
  return out;
}

std::optional<Window> XSession::WaitFor(const std::function<bool(const Window&)>& found,
                                        std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    for (const Window& w : Windows())
      if (found(w)) return w;
    if (std::chrono::steady_clock::now() >= deadline) return std::nullopt;
    std::this_thread::sleep_for(50ms);
  }
}

bool XSession::WaitGone(const std::function<bool(const Window&)>& found,
                        std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    bool shown = false;
    for (const Window& w : Windows()) shown = shown || found(w);
    if (!shown) return true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(50ms);
  }
}

bool XSession::Screenshot(const std::filesystem::path& file) {
  const int screen = DefaultScreen(x_);
  const int width = DisplayWidth(x_, screen), height = DisplayHeight(x_, screen);
  XImage* image = XGetImage(x_, DefaultRootWindow(x_), 0, 0, width, height, AllPlanes, ZPixmap);
  if (!image) return false;
  std::vector<unsigned char> rgb(static_cast<std::size_t>(width) * height * 3);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      unsigned long p = XGetPixel(image, x, y);
      unsigned char* out = &rgb[(static_cast<std::size_t>(y) * width + x) * 3];
      out[0] = static_cast<unsigned char>((p >> 16) & 0xff);
      out[1] = static_cast<unsigned char>((p >> 8) & 0xff);
      out[2] = static_cast<unsigned char>(p & 0xff);
    }
  XDestroyImage(image);
  return stbi_write_png(file.c_str(), width, height, 3, rgb.data(), width * 3) != 0;
}

}  // namespace journey
