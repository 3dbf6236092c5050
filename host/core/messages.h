#pragma once
// A message catalogue: texts under short keys, read from "key|text" lines. Screens ask it for
// the text of a key; showing the text (as an error or a question) belongs to the UI layer, which
// holds a catalogue and adds the dialog.
#include <cstddef>
#include <initializer_list>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace ger {

class TMessages {
 public:
  TMessages() = default;
  // One entry per line: the key is everything before the first "|", the text everything after
  // it, kept exactly (a line break's "\r" is not part of it). Blank lines are ignored. A line
  // without "|", an empty key or a key given twice is a fault of the catalogue and raises
  // ger::Exception naming the line.
  explicit TMessages(std::string_view lines);

  // Adds one entry at the end; raises ger::Exception for an empty or repeated key.
  void Add(std::string key, std::string text);

  // The text of a key (keys are case-sensitive). An unknown key raises ger::Exception
  // "Mensagem 'X' não encontrada no catálogo.".
  const std::string& Msg(std::string_view key) const;
  // The text of a key with "%1" to "%9" replaced by the arguments in order; a number without
  // an argument stays as written.
  std::string Msg(std::string_view key, std::initializer_list<std::string_view> args) const;
  bool Contains(std::string_view key) const { return index_.count(std::string(key)) != 0; }
  // The keys in catalogue order.
  std::vector<std::string> Keys() const;
  std::size_t Count() const { return entries_.size(); }

 private:
  struct Entry {
    std::string key, text;
  };
  std::vector<Entry> entries_;
  std::unordered_map<std::string, std::size_t> index_;
};

}  // namespace ger
