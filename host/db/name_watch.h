#pragma once
// Tells, at the cost of one system call, whether the files a path names may have changed: the
// directory entries the path is looked up through (each folder from the root, or from the working
// folder, down to the file's own names) are watched with inotify, and a change of any of them is
// counted. Changes of other names in those folders are not. Checking the files themselves takes
// a lookup of the whole path per name, which the SQLite layer would otherwise pay before every
// statement. A watch is used by one thread at a time: each connection has its own, so that
// the connections of a busy server never wait for one another's reads.
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace ger::db {

class NameWatch {
 public:
  // Watches `path` and the names in its folder (the file's own and, say, its journal's); null
  // when that cannot be relied on (a symbolic link or ".." on the way, no inotify instance left):
  // the caller then checks the files every time.
  static std::unique_ptr<NameWatch> For(const std::string& path,
                                        const std::vector<std::string>& namesBeside);
  ~NameWatch();
  NameWatch(const NameWatch&) = delete;
  NameWatch& operator=(const NameWatch&) = delete;

  // How many changes of the watched entries have been seen; nullopt when that cannot be told
  // (the watch was lost). Equal counts from two calls mean no watched entry changed between the
  // first call and the second; a caller that is told nullopt checks the files.
  std::optional<std::uint64_t> Changes();
  // The same, but a look this thread made after its last MarkRequestsRead() stands for a new one.
  std::optional<std::uint64_t> ChangesForRequestsRead();

 private:
  NameWatch() = default;
  bool Take(const char* buffer, std::size_t size);

  int fd_ = -1;
  std::map<int, std::set<std::string, std::less<>>> names_;  // by watch: the entries that count
  std::uint64_t changes_ = 0;
  bool lost_ = false;
  std::uint64_t lookedBy_ = 0;     // the marking thread whose read the last look came after
  std::uint64_t lookedAfter_ = 0;  // ... and which of its reads
};

}  // namespace ger::db
