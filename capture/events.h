// The event stream on standard error: one JSON line per event, whole lines
// even when several threads emit at once.
#pragma once

#include <string_view>

#include "common/json_line.h"

namespace Events {

// Serialises `event` and writes it as one line to descriptor 2. Write errors
// (closed or broken standard error) are ignored; always returns.
void emit(const json::Object& event);

// Emits {"event":"warning","source":…,"code":…,"message":…}.
void warning(std::string_view source, std::string_view code, std::string_view message);

// Emits {"event":"error","code":…,"message":…} and exits with `status`.
[[noreturn]] void fatal(std::string_view code, std::string_view message, int status);

}  // namespace Events
