#include "script.h"

namespace ger::scenario {

std::vector<Line> Parse(std::string_view text) {
  std::vector<Line> lines;
  int number = 0;
  std::size_t pos = 0;
  while (pos <= text.size()) {
    std::size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    std::string_view raw = text.substr(pos, end - pos);
    pos = end + 1;
    ++number;
    if (!raw.empty() && raw.back() == '\r') raw.remove_suffix(1);
    Line line{number, {}};
    std::size_t i = 0;
    while (i < raw.size()) {
      char c = raw[i];
      if (c == ' ' || c == '\t') {
        ++i;
      } else if (c == '#') {
        break;
      } else if (c == '"') {
        Word w{{}, true};
        ++i;
        bool closed = false;
        while (i < raw.size()) {
          char d = raw[i++];
          if (d == '"') {
            closed = true;
            break;
          }
          if (d == '\\') {
            if (i >= raw.size()) break;
            char e = raw[i++];
            if (e == 'n') {
              w.text.push_back('\n');  // a line break, which a line cannot hold otherwise
              continue;
            }
            if (e != '"' && e != '\\')
              throw SyntaxError(number, "unknown escape \\" + std::string(1, e) +
                                            " in a text (only \\\", \\\\ and \\n)");
            w.text.push_back(e);
          } else {
            w.text.push_back(d);
          }
        }
        if (!closed) throw SyntaxError(number, "text without its closing quote");
        if (i < raw.size() && raw[i] != ' ' && raw[i] != '\t' && raw[i] != '#')
          throw SyntaxError(number, "a text must be followed by a blank");
        line.words.push_back(std::move(w));
      } else {
        Word w;
        while (i < raw.size() && raw[i] != ' ' && raw[i] != '\t' && raw[i] != '#') {
          if (raw[i] == '"') throw SyntaxError(number, "a quote inside a word");
          w.text.push_back(raw[i++]);
        }
        line.words.push_back(std::move(w));
      }
    }
    if (!line.words.empty()) {
      if (line.words.front().quoted) throw SyntaxError(number, "a line must start with a command");
      lines.push_back(std::move(line));
    }
    if (end == text.size()) break;
  }
  return lines;
}

std::string Quote(std::string_view text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '\n') {
      out += "\\n";
      continue;
    }
    if (c == '"' || c == '\\') out.push_back('\\');
    out.push_back(c);
  }
  out.push_back('"');
  return out;
}

}  // namespace ger::scenario
