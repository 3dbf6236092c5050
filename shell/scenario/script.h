#pragma once
// Scenario files: one command per line, words separated by blanks, texts in double quotes (with
// \" and \\ escapes, and \n for a line break), "#" starting a comment outside a text.
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace ger::scenario {

struct Word {
  std::string text;
  bool quoted = false;
};

struct Line {
  int number = 0;  // from 1
  std::vector<Word> words;
};

// A line that cannot be read; `line` is its number.
class SyntaxError : public std::runtime_error {
 public:
  SyntaxError(int line, const std::string& what) : std::runtime_error(what), line(line) {}
  int line;
};

// The command lines of a file (blank and comment-only lines left out).
std::vector<Line> Parse(std::string_view text);

// Quotes a text as a scenario would write it (for messages).
std::string Quote(std::string_view text);

}  // namespace ger::scenario
