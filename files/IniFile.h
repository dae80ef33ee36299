// INI files with the semantics users of the format expect: section and key names compared
// without regard to case, values as text, and writing a key leaves every other line (blank
// lines and comments included) as it was.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tarvelo {

class IniFile {
 public:
  // Reads the file when it exists; a missing file reads as empty. A file that exists but
  // cannot be read whole (no permission, not a regular file, larger than any settings file
  // we write) also reads as empty, and writing to it is refused so its content survives.
  explicit IniFile(std::string path);
  // The same from text already in memory, tied to no file: writes change only the text.
  static IniFile FromText(std::string_view text);

  // The whole text as a save would write it.
  std::string Text() const;

  const std::string& path() const { return path_; }
  std::string ReadString(const std::string& section, const std::string& key,
                         const std::string& defaultValue) const;
  // A value that is not a whole number gives the default.
  long ReadInteger(const std::string& section, const std::string& key, long defaultValue) const;
  bool HasKey(const std::string& section, const std::string& key) const;
  std::vector<std::string> ReadSections() const;  // in file order, first spelling kept
  // The keys of the first section of that name, in file order, each once with its first
  // spelling; empty when there is no such section.
  std::vector<std::string> ReadKeys(const std::string& section) const;

  // Writes through to the file at once, replacing it as a whole, creating it and its folder
  // when needed. Returns false when the file could not be written (the callers stay silent
  // about it).
  bool WriteString(const std::string& section, const std::string& key, const std::string& value);
  bool WriteInteger(const std::string& section, const std::string& key, long value) {
    return WriteString(section, key, std::to_string(value));
  }
  // Several keys of one section with a single save, so that they land together or not at all.
  bool WriteStrings(const std::string& section,
                    const std::vector<std::pair<std::string, std::string>>& keysAndValues);
  // Sets and removes keys of one section with a single save; a key whose value is already
  // the one given keeps its line as written, and when nothing changes nothing is saved.
  bool UpdateSection(const std::string& section,
                     const std::vector<std::pair<std::string, std::string>>& set,
                     const std::vector<std::string>& remove);
  // Renames every section of that name (the later ones stay hidden behind the first), keeping
  // their keys and every other line. False when there is none or the file could not be written.
  bool RenameSection(const std::string& from, const std::string& to);
  // Removes every section of that name with its keys; the other lines stay as they were.
  bool RemoveSection(const std::string& section);

 private:
  IniFile() = default;
  struct Found {
    long line = -1;         // the key's line, or -1
    long sectionLine = -1;  // the section header, or -1
    long sectionEnd = -1;   // one past the section's last non-blank line
  };
  Found Find(const std::string& section, const std::string& key) const;
  // Each section of that name: its header line and one past its last non-blank line.
  std::vector<std::pair<long, long>> SectionSpans(const std::string& section) const;
  void Set(const std::string& section, const std::string& key, const std::string& value);
  bool Save() const;
  void Parse(std::string_view text);

  static constexpr size_t kMaxIniBytes = 1 << 20;

  std::string path_;
  std::vector<std::string> lines_;
  bool crlf_ = false;
  bool writable_ = true;
  bool inMemory_ = false;
};

}  // namespace tarvelo
