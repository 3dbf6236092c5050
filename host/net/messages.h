#pragma once
// The texts the client's transport shows users, as a message catalogue ("key|text" lines): why a
// secure connection to the application server was refused, one sentence per check, each saying
// what to do.
#include <initializer_list>
#include <string>
#include <string_view>

#include "core/messages.h"

namespace ger::net {

const TMessages& NetMessages();
// The key's text with "%1", "%2", ... replaced by the arguments.
std::string NetMsg(std::string_view key, std::initializer_list<std::string_view> args = {});

}  // namespace ger::net
