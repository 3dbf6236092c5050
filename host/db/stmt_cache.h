#pragma once
// A connection's prepared statements, by SQL text, bounded: when full, the statement used least
// recently is dropped. SQL built from data (a change set's columns) would otherwise grow a
// long-lived connection's cache, and the database server's memory, without end.
#include <cstddef>
#include <list>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>

namespace ger::db {

inline constexpr std::size_t kStatementCacheSize = 256;

template <class T>
class StatementCache {
 public:
  explicit StatementCache(std::size_t capacity = kStatementCacheSize)
      : capacity_(capacity ? capacity : 1) {}

  // The statement for `sql`, now the most recently used; nullptr when not cached.
  T* Find(std::string_view sql) {
    auto it = index_.find(sql);
    if (it == index_.end()) return nullptr;
    entries_.splice(entries_.begin(), entries_, it->second);
    return &it->second->second;
  }

  // Adds a statement (not already cached). Returns the one dropped to make room, if any, so
  // that the caller can release what it holds elsewhere.
  std::optional<std::pair<std::string, T>> Insert(std::string sql, T value, T** added) {
    std::optional<std::pair<std::string, T>> evicted;
    if (entries_.size() >= capacity_) {
      auto last = std::prev(entries_.end());
      index_.erase(std::string_view(last->first));
      evicted.emplace(std::move(last->first), std::move(last->second));
      entries_.erase(last);
    }
    entries_.emplace_front(std::move(sql), std::move(value));
    // The key views the list node's own text, which never moves.
    index_.emplace(std::string_view(entries_.front().first), entries_.begin());
    *added = &entries_.front().second;
    return evicted;
  }

  void Clear() {
    index_.clear();
    entries_.clear();
  }
  std::size_t Size() const { return entries_.size(); }
  std::size_t Capacity() const { return capacity_; }

 private:
  using Entries = std::list<std::pair<std::string, T>>;
  std::size_t capacity_;
  Entries entries_;
  std::unordered_map<std::string_view, typename Entries::iterator> index_;
};

}  // namespace ger::db
