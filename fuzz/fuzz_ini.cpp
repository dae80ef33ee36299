// INI text: reading never crashes, the text written back reads the same, and writing one key
// changes that key alone.
#include <fuzzer/FuzzedDataProvider.h>

#include <string>
#include <utility>
#include <vector>

#include "files/IniFile.h"
#include "fuzz/FuzzCheck.h"
#include "model/Codecs.h"

using namespace tarvelo;

namespace {

// Every key name the text could hold: what stands before an "=" on any line.
std::vector<std::string> CandidateKeys(const std::string& text) {
  std::vector<std::string> keys;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(start, end - start);
    const auto eq = line.find('=');
    if (eq != std::string::npos) keys.push_back(TrimBlanks(line.substr(0, eq)));
    start = end + 1;
  }
  return keys;
}

using Snapshot = std::vector<std::pair<std::string, bool>>;

Snapshot Read(const IniFile& ini, const std::vector<std::string>& sections,
              const std::vector<std::string>& keys) {
  Snapshot s;
  for (const auto& section : sections) {
    for (const auto& key : keys) {
      s.emplace_back(ini.ReadString(section, key, "\x01"), ini.HasKey(section, key));
    }
  }
  return s;
}

bool EqualNoCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  }
  return true;
}

// A name or value as the dialogs would write it: one line, no blanks at its ends.
std::string OneLine(std::string s) {
  std::string out;
  for (char c : s) {
    if (c != '\n' && c != '\r') out += c;
  }
  return TrimBlanks(out);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  std::string section = OneLine(in.ConsumeRandomLengthString(24));
  std::string key = OneLine(in.ConsumeRandomLengthString(24));
  std::string value = OneLine(in.ConsumeRandomLengthString(40));
  const std::string text = in.ConsumeRemainingBytesAsString();

  const IniFile ini = IniFile::FromText(text);
  std::vector<std::string> sections = ini.ReadSections();
  std::vector<std::string> keys = CandidateKeys(text);
  const Snapshot before = Read(ini, sections, keys);
  (void)ini.ReadInteger(section, key, 7);

  // Written back and read again, nothing changes.
  const IniFile reread = IniFile::FromText(ini.Text());
  FUZZ_CHECK(reread.ReadSections() == sections);
  FUZZ_CHECK(Read(reread, sections, keys) == before);

  // Names the format cannot hold are left out: a key with "=" or one that reads as a comment
  // or a header, a section with "]".
  if (key.empty() || key.find('=') != std::string::npos || key[0] == ';' || key[0] == '#' ||
      key[0] == '[' || section.find(']') != std::string::npos) {
    return 0;
  }
  // A value in double quotes reads without them.
  if (value.size() >= 2 && value.front() == '"' && value.back() == '"') return 0;

  IniFile written = IniFile::FromText(text);
  FUZZ_CHECK(written.WriteString(section, key, value));
  FUZZ_CHECK(written.ReadString(section, key, "\x01") == value);
  FUZZ_CHECK(written.HasKey(section, key));
  const IniFile writtenReread = IniFile::FromText(written.Text());
  FUZZ_CHECK(writtenReread.ReadString(section, key, "\x01") == value);

  // Every other key reads as before.
  bool newSection = true;
  for (const auto& s : sections) newSection = newSection && !EqualNoCase(s, TrimBlanks(section));
  const Snapshot after = Read(written, sections, keys);
  size_t i = 0;
  for (const auto& s : sections) {
    for (const auto& k : keys) {
      const bool same = EqualNoCase(TrimBlanks(s), TrimBlanks(section)) && EqualNoCase(k, key);
      if (!same) FUZZ_CHECK(after[i] == before[i]);
      ++i;
    }
  }
  if (newSection) {
    sections.push_back(section);
    FUZZ_CHECK(written.ReadSections().size() == sections.size());
  } else {
    FUZZ_CHECK(written.ReadSections() == sections);
  }
  return 0;
}
