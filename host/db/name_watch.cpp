#include "db/name_watch.h"

#include "db/database.h"

#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string_view>

namespace ger::db {

namespace {

// What changes the entries of a folder, or the folder itself. Links are not followed, and a
// watch is only put on a folder: a link on the way is refused when the watch is added.
constexpr std::uint32_t kFolderEvents = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO |
                                        IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR | IN_DONT_FOLLOW;

}  // namespace

std::unique_ptr<NameWatch> NameWatch::For(const std::string& path,
                                          const std::vector<std::string>& namesBeside) {
  namespace fs = std::filesystem;
  const fs::path given(path);
  std::vector<std::string> folders;
  for (const fs::path& part : given.relative_path()) {
    // A ".." is looked up from where the part before it leads, which may be a link.
    if (part == "..") return nullptr;
    if (part.empty() || part == ".") continue;
    folders.push_back(part.string());
  }
  if (folders.empty() || !given.has_filename() || given.filename() == ".") return nullptr;
  const std::string file = folders.back();
  folders.pop_back();
  std::unique_ptr<NameWatch> watch(new NameWatch);
  watch->fd_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (watch->fd_ < 0) return nullptr;
  // From the top down, so that each folder is found through entries watched already: one
  // replaced meanwhile is counted as a change.
  std::string folder = given.is_absolute() ? "/" : ".";
  for (std::size_t i = 0;; ++i) {
    const int wd = ::inotify_add_watch(watch->fd_, folder.c_str(), kFolderEvents);
    if (wd < 0) return nullptr;
    if (folder.back() != '/') folder += '/';
    auto& names = watch->names_[wd];
    if (i < folders.size()) {
      names.insert(folders[i]);
      folder += folders[i];
      continue;
    }
    std::vector<std::string> files{file};
    files.insert(files.end(), namesBeside.begin(), namesBeside.end());
    for (const std::string& name : files) {
      // Named here, not through a link whose target could change unseen.
      struct stat st {};
      if (::lstat((folder + name).c_str(), &st) == 0 && S_ISLNK(st.st_mode)) return nullptr;
      names.insert(name);
    }
    return watch;
  }
}

NameWatch::~NameWatch() {
  if (fd_ >= 0) ::close(fd_);
}

namespace {

// A serving thread's reads of requests, counted; the thread is named by a number never given
// to another (an address could be a later thread's).
struct RequestReads {
  std::uint64_t thread = 0;  // 0 until the thread's first mark
  std::uint64_t count = 0;
};
thread_local RequestReads tReads;
std::atomic<std::uint64_t> gMarkingThreads{0};

}  // namespace

void MarkRequestsRead() {
  if (tReads.thread == 0) tReads.thread = gMarkingThreads.fetch_add(1) + 1;
  ++tReads.count;
}

std::optional<std::uint64_t> NameWatch::ChangesForRequestsRead() {
  if (tReads.thread != 0 && lookedBy_ == tReads.thread && lookedAfter_ == tReads.count && !lost_)
    return changes_;
  std::optional<std::uint64_t> seen = Changes();
  lookedBy_ = tReads.thread;
  lookedAfter_ = tReads.count;
  return seen;
}

std::optional<std::uint64_t> NameWatch::Changes() {
  alignas(inotify_event) char buffer[4096];
  bool changed = false;
  for (;;) {
    const ssize_t n = ::read(fd_, buffer, sizeof buffer);
    if (n > 0) {
      changed = Take(buffer, static_cast<std::size_t>(n)) || changed;
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n == 0 || errno != EAGAIN) lost_ = true;
    break;
  }
  if (changed) ++changes_;
  if (lost_) return std::nullopt;
  return changes_;
}

// True when the events in `buffer` change a watched entry.
bool NameWatch::Take(const char* buffer, std::size_t size) {
  bool changed = false;
  for (std::size_t at = 0; at + sizeof(inotify_event) <= size;) {
    inotify_event event;
    std::memcpy(&event, buffer + at, sizeof event);
    const char* name = buffer + at + sizeof event;
    at += sizeof event + event.len;
    if (event.mask & (IN_Q_OVERFLOW | IN_IGNORED | IN_UNMOUNT)) {
      // Changes may have been dropped, or a watch is gone: nothing more can be told.
      lost_ = true;
      changed = true;
    } else if (event.mask & (IN_DELETE_SELF | IN_MOVE_SELF)) {
      changed = true;
    } else if (event.len > 0) {
      auto it = names_.find(event.wd);
      if (it != names_.end() &&
          it->second.contains(std::string_view(name, ::strnlen(name, event.len))))
        changed = true;
    }
  }
  return changed;
}

}  // namespace ger::db
