#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace talvenor::app::cli {

// Appends `s` as a JSON string, quotes included. Quotes, backslashes and
// control characters are escaped; a byte that is not part of valid UTF-8
// becomes U+FFFD, so the output is always valid UTF-8.
void AppendJsonString(std::string& out, std::string_view s);

// Writes one JSON value into a text, commas and nesting kept track of:
//   JsonWriter json(line);
//   json.BeginObject().Key("line").Int(3).Key("fields").BeginArray();
//   ... json.EndArray().EndObject();
// Calls must form a valid document (a key before each member of an object);
// the writer does not check that.
class JsonWriter {
 public:
  explicit JsonWriter(std::string& out) : out_(out) {}

  JsonWriter& BeginObject();
  JsonWriter& EndObject();
  JsonWriter& BeginArray();
  JsonWriter& EndArray();
  JsonWriter& Key(std::string_view key);
  JsonWriter& String(std::string_view value);
  JsonWriter& Int(long long value);
  // Finite numbers in their shortest exact form; NaN and infinities as null.
  JsonWriter& Number(double value);
  JsonWriter& Bool(bool value);
  JsonWriter& Null();

 private:
  // Writes the comma that separates this value from the one before it.
  void BeforeValue();

  std::string& out_;
  // Per open object or array: whether it holds a member yet.
  std::vector<bool> has_member_;
  bool after_key_ = false;
};

}  // namespace talvenor::app::cli
