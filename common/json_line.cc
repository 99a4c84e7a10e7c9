#include "common/json_line.h"

#include <charconv>

namespace json {

Object::Object(std::initializer_list<std::pair<std::string_view, Value>> members) {
  for (const auto& [key, value] : members) set(key, value);
}

Object& Object::set(std::string_view key, Value value) {
  members_.insert_or_assign(repairUtf8(key), std::move(value));
  return *this;
}

namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

bool isContinuation(unsigned char c) { return c >= 0x80 && c <= 0xBF; }

// Length of the well-formed sequence at `s[i]`, or 0 when the bytes there are
// not a complete sequence; `*consumed` then says how many bytes make up the
// maximal invalid subpart (at least 1).
std::size_t wellFormedLength(std::string_view s, std::size_t i, std::size_t* consumed) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
  const unsigned char lead = byte(i);
  if (lead < 0x80) return 1;
  std::size_t length = 0;
  unsigned char low = 0x80, high = 0xBF;  // allowed range of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    *consumed = 1;
    return 0;
  }
  std::size_t k = 1;
  for (; k < length && i + k < s.size(); ++k) {
    const unsigned char c = byte(i + k);
    const bool ok = k == 1 ? (c >= low && c <= high) : isContinuation(c);
    if (!ok) break;
  }
  if (k == length) return length;
  *consumed = k;
  return 0;
}

void appendEscaped(std::string& out, std::string_view text) {
  static constexpr char kHex[] = "0123456789abcdef";
  out.push_back('"');
  for (const char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '/': out += "\\/"; break;
      case '\b': out += "\\b"; break;
      case '\f': out += "\\f"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20) {
          out += "\\u00";
          out.push_back(kHex[c >> 4]);
          out.push_back(kHex[c & 0xF]);
        } else {
          out.push_back(ch);
        }
    }
  }
  out.push_back('"');
}

void appendValue(std::string& out, const Value& value);

struct Appender {
  std::string& out;
  void operator()(bool b) const { out += b ? "true" : "false"; }
  void operator()(std::int64_t i) const {
    char digits[24];
    const auto result = std::to_chars(digits, digits + sizeof digits, i);
    out.append(digits, result.ptr);
  }
  void operator()(const std::string& s) const { appendEscaped(out, repairUtf8(s)); }
  void operator()(const Object& o) const {
    out.push_back('{');
    bool first = true;
    for (const auto& [key, member] : o.members()) {
      if (!first) out.push_back(',');
      first = false;
      appendEscaped(out, key);  // keys are repaired when they are set
      out.push_back(':');
      appendValue(out, member);
    }
    out.push_back('}');
  }
  void operator()(const Array& a) const {
    out.push_back('[');
    for (std::size_t i = 0; i < a.size(); ++i) {
      if (i > 0) out.push_back(',');
      appendValue(out, a[i]);
    }
    out.push_back(']');
  }
};

void appendValue(std::string& out, const Value& value) { std::visit(Appender{out}, value.variant()); }

}  // namespace

std::string repairUtf8(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  std::size_t i = 0;
  while (i < text.size()) {
    std::size_t consumed = 0;
    const std::size_t length = wellFormedLength(text, i, &consumed);
    if (length > 0) {
      out.append(text.substr(i, length));
      i += length;
    } else {
      out.append(kReplacement);
      i += consumed;
    }
  }
  return out;
}

std::string serialise(const Value& value) {
  std::string out;
  appendValue(out, value);
  return out;
}

std::string line(const Object& object) {
  std::string out = serialise(Value(object));
  out.push_back('\n');
  return out;
}

}  // namespace json
