#include "files/IniFile.h"

#include <cerrno>
#include <filesystem>
#include <unordered_set>
#include <utility>

#include "files/SafeFile.h"
#include "model/Codecs.h"
#include "model/Text.h"

namespace tarvelo {
namespace {

bool EqualNoCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (Cp1250Lower(a[i]) != Cp1250Lower(b[i])) return false;
  }
  return true;
}

// The name of a section header line, or false when the line is none.
bool SectionName(const std::string& line, std::string& name) {
  const std::string t = TrimBlanks(line);
  if (t.size() < 2 || t.front() != '[') return false;
  const auto close = t.find(']');
  if (close == std::string::npos) return false;
  name = TrimBlanks(t.substr(1, close - 1));
  return true;
}

bool KeyValue(const std::string& line, std::string& key, std::string& value) {
  const std::string t = TrimBlanks(line);
  if (t.empty() || t[0] == ';' || t[0] == '#') return false;
  const auto eq = t.find('=');
  if (eq == std::string::npos) return false;
  key = TrimBlanks(t.substr(0, eq));
  value = TrimBlanks(t.substr(eq + 1));
  // A value in double quotes is read without them.
  if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
    value = value.substr(1, value.size() - 2);
  }
  return true;
}

}  // namespace

IniFile::IniFile(std::string path) : path_(std::move(path)) {
  const ReadResult read = ReadRegularFile(path_, kMaxIniBytes);
  if (!read.ok) {
    // A missing file is simply empty. One that is there but cannot be read must not be
    // replaced by the few keys written to it.
    writable_ = read.error == ENOENT || read.error == ENOTDIR;
    return;
  }
  if (!read.whole) {
    writable_ = false;
    return;
  }
  Parse(read.bytes);
}

IniFile IniFile::FromText(std::string_view text) {
  IniFile ini;
  ini.inMemory_ = true;
  ini.Parse(text);
  return ini;
}

void IniFile::Parse(std::string_view text) {
  lines_.clear();
  crlf_ = false;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string line(text.substr(start, end - start));
    if (!line.empty() && line.back() == '\r') {
      line.pop_back();
      crlf_ = true;
    }
    lines_.push_back(std::move(line));
    start = end + 1;
  }
}

IniFile::Found IniFile::Find(const std::string& section, const std::string& key) const {
  Found f;
  bool inside = false;
  // Headers are read without their blanks; a name written with some must find its own.
  const std::string wanted = TrimBlanks(section);
  for (long i = 0; i < static_cast<long>(lines_.size()); ++i) {
    std::string name, k, v;
    if (SectionName(lines_[i], name)) {
      if (inside) break;  // the first section of that name is the one that counts
      inside = EqualNoCase(name, wanted);
      if (inside) {
        f.sectionLine = i;
        f.sectionEnd = i + 1;
      }
      continue;
    }
    if (!inside) continue;
    if (!TrimBlanks(lines_[i]).empty()) f.sectionEnd = i + 1;
    if (f.line < 0 && KeyValue(lines_[i], k, v) && EqualNoCase(k, key)) f.line = i;
  }
  return f;
}

std::string IniFile::ReadString(const std::string& section, const std::string& key,
                                const std::string& defaultValue) const {
  const Found f = Find(section, key);
  if (f.line < 0) return defaultValue;
  std::string k, v;
  KeyValue(lines_[f.line], k, v);
  return v;
}

long IniFile::ReadInteger(const std::string& section, const std::string& key,
                          long defaultValue) const {
  long value = 0;
  return ParseWholeNumber(ReadString(section, key, ""), value) ? value : defaultValue;
}

bool IniFile::HasKey(const std::string& section, const std::string& key) const {
  return Find(section, key).line >= 0;
}

std::vector<std::string> IniFile::ReadSections() const {
  std::vector<std::string> names;
  // Names seen so far, folded as EqualNoCase compares them: a list of thousands of
  // connections must not cost a comparison with every name before it.
  std::unordered_set<std::string> seen;
  for (const auto& line : lines_) {
    std::string name;
    if (!SectionName(line, name)) continue;
    std::string folded = name;
    for (auto& c : folded) c = Cp1250Lower(c);
    if (seen.insert(std::move(folded)).second) names.push_back(name);
  }
  return names;
}

std::vector<std::string> IniFile::ReadKeys(const std::string& section) const {
  std::vector<std::string> keys;
  std::unordered_set<std::string> seen;
  const Found f = Find(section, "");
  if (f.sectionLine < 0) return keys;
  for (long i = f.sectionLine + 1; i < f.sectionEnd; ++i) {
    std::string k, v;
    if (!KeyValue(lines_[i], k, v)) continue;
    std::string folded = k;
    for (auto& c : folded) c = Cp1250Lower(c);
    if (seen.insert(std::move(folded)).second) keys.push_back(k);
  }
  return keys;
}

bool IniFile::WriteString(const std::string& section, const std::string& key,
                          const std::string& value) {
  Set(section, key, value);
  return Save();
}

bool IniFile::WriteStrings(const std::string& section,
                           const std::vector<std::pair<std::string, std::string>>& keysAndValues) {
  for (const auto& [key, value] : keysAndValues) Set(section, key, value);
  return Save();
}

bool IniFile::UpdateSection(const std::string& section,
                            const std::vector<std::pair<std::string, std::string>>& set,
                            const std::vector<std::string>& remove) {
  bool changed = false;
  for (const auto& [key, value] : set) {
    if (HasKey(section, key) && ReadString(section, key, "") == value) continue;
    Set(section, key, value);
    changed = true;
  }
  for (const std::string& key : remove) {
    // Every line of the key in the first section of that name: a reader takes the first, and
    // a second would step in once it is gone.
    for (int guard = 0; guard < 1000; ++guard) {
      const Found f = Find(section, key);
      if (f.line < 0) break;
      lines_.erase(lines_.begin() + f.line);
      changed = true;
    }
  }
  return changed ? Save() : true;
}

std::vector<std::pair<long, long>> IniFile::SectionSpans(const std::string& section) const {
  std::vector<std::pair<long, long>> spans;
  const std::string wanted = TrimBlanks(section);
  // A comment set apart from a section by a blank line, just before the next header or the
  // file's end, speaks of what follows: deleting the section must not take it along.
  const auto blank = [this](long i) { return TrimBlanks(lines_[i]).empty(); };
  const auto comment = [this](long i) {
    const std::string t = TrimBlanks(lines_[i]);
    return !t.empty() && (t[0] == ';' || t[0] == '#');
  };
  const auto spanEnd = [&](long header, long lastNonBlank) {
    long i = lastNonBlank;
    while (i > header && comment(i)) --i;
    if (i == lastNonBlank || !blank(i)) return lastNonBlank + 1;
    while (i > header && blank(i)) --i;
    return i + 1;
  };
  long lastNonBlank = -1;
  for (long i = 0; i < static_cast<long>(lines_.size()); ++i) {
    std::string name;
    if (SectionName(lines_[i], name)) {
      if (!spans.empty() && spans.back().second < 0)
        spans.back().second = spanEnd(spans.back().first, lastNonBlank);
      if (EqualNoCase(name, wanted)) spans.emplace_back(i, -1);
      lastNonBlank = i;
      continue;
    }
    if (!TrimBlanks(lines_[i]).empty()) lastNonBlank = i;
  }
  if (!spans.empty() && spans.back().second < 0)
    spans.back().second = spanEnd(spans.back().first, lastNonBlank);
  return spans;
}

bool IniFile::RenameSection(const std::string& from, const std::string& to) {
  const auto spans = SectionSpans(from);
  if (spans.empty()) return false;
  for (const auto& [header, end] : spans) {
    // Whatever followed the closing bracket (a comment) stays.
    const std::string& old = lines_[header];
    const auto close = old.find(']');
    lines_[header] = "[" + to + old.substr(close);
  }
  return Save();
}

bool IniFile::RemoveSection(const std::string& section) {
  const auto spans = SectionSpans(section);
  if (spans.empty()) return false;
  for (auto it = spans.rbegin(); it != spans.rend(); ++it) {
    long end = it->second;
    // The blank line that parted it from the next section goes with it.
    while (end < static_cast<long>(lines_.size()) && TrimBlanks(lines_[end]).empty()) ++end;
    if (end == static_cast<long>(lines_.size())) {
      // The last section: the blank lines before it go instead.
      long start = it->first;
      while (start > 0 && TrimBlanks(lines_[start - 1]).empty()) --start;
      lines_.erase(lines_.begin() + start, lines_.end());
    } else {
      lines_.erase(lines_.begin() + it->first, lines_.begin() + end);
    }
  }
  return Save();
}

void IniFile::Set(const std::string& section, const std::string& key, const std::string& value) {
  const Found f = Find(section, key);
  if (f.line >= 0) {
    // Keep the key as it was spelt and any indentation before it.
    const std::string& old = lines_[f.line];
    const auto eq = old.find('=');
    std::string left = old.substr(0, eq);
    while (!left.empty() && (left.back() == ' ' || left.back() == '\t')) left.pop_back();
    lines_[f.line] = left + "=" + value;
  } else if (f.sectionLine >= 0) {
    lines_.insert(lines_.begin() + f.sectionEnd, key + "=" + value);
  } else {
    while (!lines_.empty() && TrimBlanks(lines_.back()).empty()) lines_.pop_back();
    if (!lines_.empty()) lines_.push_back("");
    lines_.push_back("[" + section + "]");
    lines_.push_back(key + "=" + value);
  }
}

std::string IniFile::Text() const {
  std::string text;
  for (const auto& line : lines_) text += line + (crlf_ ? "\r\n" : "\n");
  return text;
}

bool IniFile::Save() const {
  if (inMemory_) return true;
  if (!writable_) return false;
  std::error_code ec;
  const auto folder = std::filesystem::path(path_).parent_path();
  if (!folder.empty()) std::filesystem::create_directories(folder, ec);
  return WriteFileAtomically(path_, Text()).ok;
}

}  // namespace tarvelo
