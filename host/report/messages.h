#pragma once
// The texts of reports that users read, as a message catalogue ("key|text" lines); "%1" and "%2"
// stand for the arguments of ReportMsg.
#include <initializer_list>
#include <string>
#include <string_view>

#include "core/messages.h"

namespace ger::report {

// The catalogue's lines (the report launcher loads them into its catalogue component).
const char* ReportMessageLines();
const TMessages& ReportMessages();
// The key's text with "%1", "%2", ... replaced by the arguments.
std::string ReportMsg(std::string_view key, std::initializer_list<std::string_view> args = {});

}  // namespace ger::report
