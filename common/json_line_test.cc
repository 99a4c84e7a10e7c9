#include "common/json_line.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <string>

namespace {

TEST(JsonLine, WritesCompactSortedLineWithOneLineFeed) {
  json::Object event{{"system", true}, {"event", "ready"}, {"sampleRate", 16000}, {"mic", false}};
  EXPECT_EQ(json::line(event), "{\"event\":\"ready\",\"mic\":false,\"sampleRate\":16000,\"system\":true}\n");
}

TEST(JsonLine, SortsKeysByUtf8BytesAtEveryLevel) {
  json::Object inner{{"b", 1}, {"B", 2}, {"\xC3\xA9", 3}, {"a", 4}};
  json::Object outer{{"z", json::Array{json::Value(inner), -7}}, {"Z", json::Object{}}, {"", json::Array{}}};
  EXPECT_EQ(json::serialise(outer),
            "{\"\":[],\"Z\":{},\"z\":[{\"B\":2,\"a\":4,\"b\":1,\"\xC3\xA9\":3},-7]}");
}

TEST(JsonLine, EscapesAsTheFormatRequires) {
  struct Case {
    std::string in, out;
  } cases[] = {
      {"a/b", "\"a\\/b\""},
      {"\"\\", "\"\\\"\\\\\""},
      {std::string("\b\f\n\r\t\x01\x1f\x7f", 8), "\"\\b\\f\\n\\r\\t\\u0001\\u001f\x7f\""},
      {std::string("\0", 1), "\"\\u0000\""},
      {"8000\xE2\x80\xA6" "48000", "\"8000\xE2\x80\xA6" "48000\""},
      {"\xF0\x9F\x8E\x99", "\"\xF0\x9F\x8E\x99\""},
  };
  for (const auto& c : cases) EXPECT_EQ(json::serialise(c.in), c.out) << c.in;
}

TEST(JsonLine, WritesIntegersInDecimal) {
  EXPECT_EQ(json::serialise(json::Array{0, -1, INT64_MAX, INT64_MIN}),
            "[0,-1,9223372036854775807,-9223372036854775808]");
}

TEST(JsonLine, ReplacesEachMaximalInvalidSubpartWithOneReplacementCharacter) {
  const std::string r = "\xEF\xBF\xBD";
  struct Case {
    std::string in, out;
  } cases[] = {
      {"\xFF", r},
      {"a\x80" "b", "a" + r + "b"},
      {"\xE2\x80", r},                       // truncated three-byte sequence
      {"\xE2\x80" "a", r + "a"},
      {"\xC0\xAF", r + r},                   // overlong: both bytes invalid
      {"\xED\xA0\x80", r + r + r},           // surrogate
      {"\xF4\x90\x80\x80", r + r + r + r},   // above U+10FFFF
      {"\xF0\x9F\x8E", r},
  };
  for (const auto& c : cases) EXPECT_EQ(json::repairUtf8(c.in), c.out) << c.in;
}

TEST(JsonLine, RepairedKeysStillSortAndCollide) {
  json::Object o{{"\xFF", 1}, {"\xFE", 2}};
  EXPECT_EQ(json::serialise(o), "{\"\xEF\xBF\xBD\":2}");
}

std::string hex(const std::string& bytes) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out;
  for (const unsigned char c : bytes) {
    out.push_back(kHex[c >> 4]);
    out.push_back(kHex[c & 0xF]);
  }
  return out;
}

// Python's json module is the oracle: every line must parse as strict UTF-8
// JSON to the expected object and match Python's canonical sorted rendering.
TEST(JsonLine, AgreesWithPythonJsonOnAwkwardStrings) {
  std::string all;
  for (int c = 0; c < 0x80; ++c) all.push_back(static_cast<char>(c));
  const std::string strings[] = {
      "",
      "plain",
      all,
      "/Users/me/Music/Meeting 1.wav",
      "\\/\"//\\\\",
      "caf\xC3\xA9 \xE2\x80\xA6 \xE6\x97\xA5\xE6\x9C\xAC \xF0\x9F\x8E\x99",
      "\xE2\x80\xA8\xE2\x80\xA9\xEF\xBB\xBF",  // U+2028, U+2029, BOM
      "\xFF\xFE\x80\xBF\xC0\x80\xC1\xBF\xF5\x80",
      "\xE2\x82\xE2\x82\xAC\xED\xBF\xBF\xF4\x8F\xBF\xBF\xF0\x8F\xBF\xBF",
      "tail\xC3",
      std::string("nul\0inside", 10),
  };
  const std::string keys[] = {"k", "\xC3\xA9", "Z", "z/y", "\xFF"};
  std::string input;
  int n = 0;
  for (const auto& key : keys) {
    for (const auto& s : strings) {
      json::Object o{{key, s}, {"z/", json::Array{s}}};
      input += hex(key) + " " + hex(s) + "\n" + json::line(o);
      ++n;
    }
  }
  const std::string path = ::testing::TempDir() + "json_oracle_input." + std::to_string(getpid());
  FILE* f = std::fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  std::fwrite(input.data(), 1, input.size(), f);
  std::fclose(f);
  const std::string command = "python3 " JSON_ORACLE_PATH " < " + path + " 2>&1";
  FILE* p = popen(command.c_str(), "r");
  ASSERT_NE(p, nullptr);
  std::string verdict;
  char buffer[512];
  while (std::fgets(buffer, sizeof buffer, p)) verdict += buffer;
  EXPECT_EQ(pclose(p), 0) << verdict;
  EXPECT_EQ(verdict, "checked " + std::to_string(n) + " cases, 0 failures\n");
}

}  // namespace
