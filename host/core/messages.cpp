#include "core/messages.h"

#include "core/exceptions.h"
#include "core/utf8.h"

namespace ger {

TMessages::TMessages(std::string_view lines) {
  std::size_t lineNo = 0;
  while (!lines.empty()) {
    const std::size_t end = lines.find('\n');
    std::string_view line = lines.substr(0, end);
    lines = end == std::string_view::npos ? std::string_view() : lines.substr(end + 1);
    ++lineNo;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (utf8::Trim(line).empty()) continue;
    const std::size_t bar = line.find('|');
    if (bar == std::string_view::npos)
      throw Exception("Message catalogue, line " + std::to_string(lineNo) + ": no '|' in \"" +
                      std::string(line) + "\"");
    try {
      Add(std::string(line.substr(0, bar)), std::string(line.substr(bar + 1)));
    } catch (const Exception& e) {
      throw Exception("Message catalogue, line " + std::to_string(lineNo) + ": " + e.what());
    }
  }
}

void TMessages::Add(std::string key, std::string text) {
  if (key.empty()) throw Exception("empty message key");
  if (index_.count(key)) throw Exception("message key '" + key + "' given twice");
  index_.emplace(key, entries_.size());
  entries_.push_back({std::move(key), std::move(text)});
}

const std::string& TMessages::Msg(std::string_view key) const {
  const auto it = index_.find(std::string(key));
  if (it == index_.end())
    throw Exception("Mensagem '" + std::string(key) + "' não encontrada no catálogo.");
  return entries_[it->second].text;
}

std::vector<std::string> TMessages::Keys() const {
  std::vector<std::string> keys;
  keys.reserve(entries_.size());
  for (const auto& e : entries_) keys.push_back(e.key);
  return keys;
}

std::string TMessages::Msg(std::string_view key,
                           std::initializer_list<std::string_view> args) const {
  const std::string& text = Msg(key);
  const std::vector<std::string_view> values(args);
  std::string out;
  out.reserve(text.size() + 32);
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char next = i + 1 < text.size() ? text[i + 1] : '\0';
    if (text[i] == '%' && next >= '1' && next <= '9' &&
        static_cast<std::size_t>(next - '1') < values.size()) {
      out += values[static_cast<std::size_t>(next - '1')];
      ++i;
    } else {
      out += text[i];
    }
  }
  return out;
}

}  // namespace ger
