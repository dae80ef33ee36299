#include "cli/JsonRead.h"

#include <cstdint>
#include <utility>

namespace tarvelo {

const JsonValue* JsonValue::Find(std::string_view key) const {
  for (const auto& [k, v] : members) {
    if (k == key) return &v;
  }
  return nullptr;
}

namespace {

// Deep enough for any settings file; a deeper document is refused rather than allowed to
// exhaust the stack.
constexpr int kMaxDepth = 64;

struct SyntaxError {
  std::string message;
};

class Parser {
 public:
  explicit Parser(std::string_view text) : s_(text) {}

  JsonValue Document() {
    Blanks();
    JsonValue v = Value(0);
    Blanks();
    if (pos_ != s_.size()) Fail("fölösleges szöveg az érték után");
    return v;
  }

  std::string Where() const {
    int line = 1, column = 1;
    for (size_t i = 0; i < pos_ && i < s_.size(); ++i) {
      if (s_[i] == '\n') {
        ++line;
        column = 1;
      } else if ((static_cast<unsigned char>(s_[i]) & 0xC0) != 0x80) {
        ++column;
      }
    }
    return std::to_string(line) + ". sor, " + std::to_string(column) + ". oszlop";
  }

 private:
  [[noreturn]] void Fail(const std::string& what) { throw SyntaxError{what}; }

  void Blanks() {
    while (pos_ < s_.size() &&
           (s_[pos_] == ' ' || s_[pos_] == '\t' || s_[pos_] == '\n' || s_[pos_] == '\r')) {
      ++pos_;
    }
  }

  bool Take(char c) {
    if (pos_ < s_.size() && s_[pos_] == c) {
      ++pos_;
      return true;
    }
    return false;
  }

  void Word(std::string_view word) {
    if (s_.substr(pos_, word.size()) != word) Fail("ismeretlen érték");
    pos_ += word.size();
  }

  JsonValue Value(int depth) {
    if (depth > kMaxDepth) Fail("túl mélyen egymásba ágyazott értékek");
    if (pos_ >= s_.size()) Fail("váratlanul véget ért");
    JsonValue v;
    const char c = s_[pos_];
    if (c == '{') {
      v.kind = JsonValue::Kind::Object;
      ++pos_;
      Blanks();
      if (Take('}')) return v;
      do {
        Blanks();
        if (pos_ >= s_.size() || s_[pos_] != '"') Fail("kulcsot (idézőjeles szöveget) vár");
        const size_t keyAt = pos_;
        std::string key = String();
        if (v.Find(key)) {
          pos_ = keyAt;
          Fail("kétszer szereplő kulcs: " + key);
        }
        Blanks();
        if (!Take(':')) Fail("kettőspontot vár");
        Blanks();
        JsonValue member = Value(depth + 1);
        v.members.push_back(JsonMember{std::move(key), std::move(member)});
        Blanks();
      } while (Take(','));
      if (!Take('}')) Fail("vesszőt vagy }-t vár");
    } else if (c == '[') {
      v.kind = JsonValue::Kind::Array;
      ++pos_;
      Blanks();
      if (Take(']')) return v;
      do {
        Blanks();
        v.items.push_back(Value(depth + 1));
        Blanks();
      } while (Take(','));
      if (!Take(']')) Fail("vesszőt vagy ]-t vár");
    } else if (c == '"') {
      v.kind = JsonValue::Kind::String;
      v.text = String();
    } else if (c == 't') {
      Word("true");
      v.kind = JsonValue::Kind::Bool;
      v.boolean = true;
    } else if (c == 'f') {
      Word("false");
      v.kind = JsonValue::Kind::Bool;
    } else if (c == 'n') {
      Word("null");
    } else if (c == '-' || (c >= '0' && c <= '9')) {
      v.kind = JsonValue::Kind::Number;
      v.text = Number();
    } else {
      Fail("értéket vár");
    }
    return v;
  }

  bool Digit() const { return pos_ < s_.size() && s_[pos_] >= '0' && s_[pos_] <= '9'; }

  std::string Number() {
    const size_t start = pos_;
    Take('-');
    if (!Digit()) Fail("hibás szám");
    if (!Take('0')) {
      while (Digit()) ++pos_;
    }
    if (Take('.')) {
      if (!Digit()) Fail("hibás szám");
      while (Digit()) ++pos_;
    }
    if (Take('e') || Take('E')) {
      if (!Take('+')) Take('-');
      if (!Digit()) Fail("hibás szám");
      while (Digit()) ++pos_;
    }
    return std::string(s_.substr(start, pos_ - start));
  }

  uint32_t Hex4() {
    uint32_t u = 0;
    for (int i = 0; i < 4; ++i) {
      if (pos_ >= s_.size()) Fail("hibás \\u escape");
      const char h = s_[pos_++];
      u <<= 4;
      if (h >= '0' && h <= '9') {
        u |= static_cast<uint32_t>(h - '0');
      } else if (h >= 'a' && h <= 'f') {
        u |= static_cast<uint32_t>(h - 'a' + 10);
      } else if (h >= 'A' && h <= 'F') {
        u |= static_cast<uint32_t>(h - 'A' + 10);
      } else {
        Fail("hibás \\u escape");
      }
    }
    return u;
  }

  static void PutUtf8(std::string& out, uint32_t cp) {
    if (cp < 0x80) {
      out += static_cast<char>(cp);
    } else if (cp < 0x800) {
      out += static_cast<char>(0xC0 | (cp >> 6));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
      out += static_cast<char>(0xE0 | (cp >> 12));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (cp >> 18));
      out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    }
  }

  // The opening quote is at pos_.
  std::string String() {
    ++pos_;
    std::string out;
    while (true) {
      if (pos_ >= s_.size()) Fail("lezáratlan szöveg");
      const unsigned char c = static_cast<unsigned char>(s_[pos_++]);
      if (c == '"') return out;
      if (c < 0x20) Fail("vezérlőkarakter a szövegben (\\u00XX alakban írható)");
      if (c != '\\') {
        out += static_cast<char>(c);
        continue;
      }
      if (pos_ >= s_.size()) Fail("lezáratlan szöveg");
      const char e = s_[pos_++];
      switch (e) {
        case '"':
        case '\\':
        case '/':
          out += e;
          break;
        case 'b':
          out += '\b';
          break;
        case 'f':
          out += '\f';
          break;
        case 'n':
          out += '\n';
          break;
        case 'r':
          out += '\r';
          break;
        case 't':
          out += '\t';
          break;
        case 'u': {
          uint32_t cp = Hex4();
          if (cp >= 0xD800 && cp <= 0xDBFF) {
            if (!Take('\\') || !Take('u')) Fail("magányos UTF-16 helyettesítő");
            const uint32_t low = Hex4();
            if (low < 0xDC00 || low > 0xDFFF) Fail("magányos UTF-16 helyettesítő");
            cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
          } else if (cp >= 0xDC00 && cp <= 0xDFFF) {
            Fail("magányos UTF-16 helyettesítő");
          }
          PutUtf8(out, cp);
          break;
        }
        default:
          Fail("ismeretlen escape: \\" + std::string(1, e));
      }
    }
  }

  std::string_view s_;
  size_t pos_ = 0;
};

}  // namespace

std::optional<JsonValue> ParseJson(std::string_view text, std::string* error) {
  Parser p(text);
  try {
    return p.Document();
  } catch (const SyntaxError& e) {
    if (error) *error = "JSON hiba (" + p.Where() + "): " + e.message;
    return std::nullopt;
  }
}

}  // namespace tarvelo
