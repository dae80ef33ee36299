// A small JSON reader for the settings files the tool takes back: the whole document in
// memory, object members in their written order.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarvelo {

struct JsonMember;

struct JsonValue {
  enum class Kind { Null, Bool, Number, String, Array, Object };
  Kind kind = Kind::Null;
  bool boolean = false;
  // A string's contents (UTF-8), or a number as it was written, so that a value is checked
  // as the text a user would have typed into the field.
  std::string text;
  std::vector<JsonValue> items;
  std::vector<JsonMember> members;

  const JsonValue* Find(std::string_view key) const;
};

// A struct of its own rather than a pair: a pair of an incomplete type inside the type it
// completes is not something every standard library accepts.
struct JsonMember {
  std::string key;
  JsonValue value;
};

// Returns nothing on a syntax error and puts a Hungarian message with the line and column in
// `error`. A key written twice in one object is an error: which one would count is a guess.
std::optional<JsonValue> ParseJson(std::string_view text, std::string* error);

}  // namespace tarvelo
