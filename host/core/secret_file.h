#pragma once
// Access tokens kept in a file instead of on the command line, which every local user can read.
#include <string>
#include <string_view>

namespace ger {

// The token held in `path`: its contents with the trailing line break removed. Raises
// std::runtime_error with an English sentence for operators when the file cannot be read, is
// readable by its group or by other users, or holds no usable token.
std::string ReadTokenFile(const std::string& path);

// Empty when `token` can be sent as a bearer token, else why not. A control character would
// end the header line it is sent in.
// A token made only of blanks, or beginning or ending with one, cannot be sent either.
std::string TokenProblem(std::string_view token);

// The file's mode ("0644") when users other than its owner may read it; empty when they may not
// (or the file cannot be looked at). For files that hold a token among other settings.
std::string ModeReadableByOthers(const std::string& path);

}  // namespace ger
