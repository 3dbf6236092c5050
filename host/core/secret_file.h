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
std::string TokenProblem(std::string_view token);

}  // namespace ger
