#include "cli/Json.h"

#include <cstdio>

namespace tarvelo {

std::string JsonWriter::Quote(const std::string& s) {
  std::string out = "\"";
  for (size_t i = 0; i < s.size(); ++i) {
    const auto c = static_cast<unsigned char>(s[i]);
    // DEL and the C1 controls are valid in a JSON string, but a terminal acts on them when
    // the report is read there: written as escapes, like the C0 controls.
    const bool c1 = c == 0xC2 && i + 1 < s.size() && static_cast<unsigned char>(s[i + 1]) < 0xA0 &&
                    static_cast<unsigned char>(s[i + 1]) >= 0x80;
    if (c == 0x7F || c1) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\u%04x",
                    c == 0x7F ? 0x7F : static_cast<unsigned char>(s[++i]));
      out += buf;
      continue;
    }
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (c < 0x20) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\u%04x", c);
          out += buf;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  return out + "\"";
}

void JsonWriter::Key(const char* key) {
  if (!first_.empty()) {
    if (!first_.back()) out_ += ",";
    first_.back() = false;
    out_ += '\n';
    out_.append(first_.size() * 2, ' ');
  }
  if (key) out_ += Quote(key) + ": ";
}

JsonWriter& JsonWriter::BeginObject(const char* key) {
  Key(key);
  out_ += "{";
  first_.push_back(true);
  return *this;
}

JsonWriter& JsonWriter::EndObject() {
  const bool empty = first_.back();
  first_.pop_back();
  if (!empty) {
    out_ += '\n';
    out_.append(first_.size() * 2, ' ');
  }
  out_ += "}";
  if (first_.empty()) out_ += "\n";
  return *this;
}

JsonWriter& JsonWriter::BeginArray(const char* key) {
  Key(key);
  out_ += "[";
  first_.push_back(true);
  return *this;
}

JsonWriter& JsonWriter::EndArray() {
  const bool empty = first_.back();
  first_.pop_back();
  if (!empty) {
    out_ += '\n';
    out_.append(first_.size() * 2, ' ');
  }
  out_ += "]";
  return *this;
}

JsonWriter& JsonWriter::String(const char* key, const std::string& utf8) {
  Key(key);
  out_ += Quote(utf8);
  return *this;
}

JsonWriter& JsonWriter::Number(const char* key, long value) {
  Key(key);
  out_ += std::to_string(value);
  return *this;
}

JsonWriter& JsonWriter::Bool(const char* key, bool value) {
  Key(key);
  out_ += value ? "true" : "false";
  return *this;
}

}  // namespace tarvelo
