// A small streaming JSON writer: enough for the command-line tool's reports.
#pragma once

#include <string>
#include <vector>

namespace tarvelo {

class JsonWriter {
 public:
  JsonWriter& BeginObject(const char* key = nullptr);
  JsonWriter& EndObject();
  JsonWriter& BeginArray(const char* key = nullptr);
  JsonWriter& EndArray();
  JsonWriter& String(const char* key, const std::string& utf8);
  JsonWriter& Number(const char* key, long value);
  JsonWriter& Bool(const char* key, bool value);
  const std::string& str() const { return out_; }

  static std::string Quote(const std::string& utf8);

 private:
  void Key(const char* key);
  std::string out_;
  std::vector<bool> first_;  // per open container: nothing written into it yet
};

}  // namespace tarvelo
