#include "capture/events.h"

#include <unistd.h>

#include <cstdlib>
#include <mutex>

namespace Events {

namespace {

// Created once on first use and never destroyed, so a thread may still emit
// while another one runs the exit handlers.
std::mutex& lineLock() {
  static std::mutex* lock = new std::mutex;
  return *lock;
}

}  // namespace

void emit(const json::Object& event) {
  const std::string text = json::serialise(json::Value(event));
  std::lock_guard<std::mutex> guard(lineLock());
  // Results ignored on purpose: nothing can be reported about stderr itself.
  [[maybe_unused]] ssize_t a = ::write(2, text.data(), text.size());
  [[maybe_unused]] ssize_t b = ::write(2, "\n", 1);
}

void warning(std::string_view source, std::string_view code, std::string_view message) {
  emit({{"event", "warning"}, {"source", source}, {"code", code}, {"message", message}});
}

void fatal(std::string_view code, std::string_view message, int status) {
  emit({{"event", "error"}, {"code", code}, {"message", message}});
  std::exit(status);
}

}  // namespace Events
