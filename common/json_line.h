// A small JSON value type and the one-line serialiser that every program uses
// for its machine-readable output.
//
// Format: compact (no white space), object keys ascending by their UTF-8 bytes
// at every level, '"' and '\\' escaped, control characters escaped (\b \f \n
// \r \t, the others as \u00xx), every '/' written as "\/", characters outside
// ASCII as their UTF-8 bytes, integers in decimal, booleans as true/false.
// Invalid UTF-8 in a string or key is replaced by U+FFFD per maximal invalid
// subpart, so every line is valid JSON.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace json {

class Value;

// Keys are kept as valid UTF-8 (repaired on insertion), so std::map's
// byte-wise order is exactly the order they are written in.
class Object {
 public:
  Object() = default;
  Object(std::initializer_list<std::pair<std::string_view, Value>> members);

  // Sets `key` to `value`, replacing an earlier value under the same key.
  Object& set(std::string_view key, Value value);

  const std::map<std::string, Value>& members() const { return members_; }

 private:
  std::map<std::string, Value> members_;
};

using Array = std::vector<Value>;

class Value {
 public:
  Value(bool b) : v_(b) {}
  Value(int i) : v_(static_cast<std::int64_t>(i)) {}
  Value(long i) : v_(static_cast<std::int64_t>(i)) {}
  Value(long long i) : v_(static_cast<std::int64_t>(i)) {}
  Value(std::string s) : v_(std::move(s)) {}
  Value(std::string_view s) : v_(std::string(s)) {}
  Value(const char* s) : v_(std::string(s)) {}
  Value(Object o) : v_(std::move(o)) {}
  Value(Array a) : v_(std::move(a)) {}

  using Variant = std::variant<bool, std::int64_t, std::string, Object, Array>;
  const Variant& variant() const { return v_; }

 private:
  Variant v_;
};

// Returns `text` with every maximal invalid UTF-8 subpart replaced by U+FFFD
// (the same policy as the Unicode standard's "best practice").
std::string repairUtf8(std::string_view text);

// Serialises `value` compactly, without a trailing line feed.
std::string serialise(const Value& value);

// Serialises `object` and appends the single line feed that ends a JSON line.
std::string line(const Object& object);

}  // namespace json
