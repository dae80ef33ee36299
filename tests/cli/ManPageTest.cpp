// The manual page against the command table: every command and option the help lists is in
// its synopsis and explained, and the synopsis names nothing the tool no longer has.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "cli/Commands.h"

using namespace tarvelo;

namespace {

// The page's words by section (".SH NAME"), a section as lines of words, roff's "\-" read
// as "-" and the brackets, bars and quotes of the synopsis taken off each word.
using Lines = std::vector<std::vector<std::string>>;

std::map<std::string, Lines> Sections() {
  std::ifstream in(TARVELO_MAN_PAGE);
  const std::string source{std::istreambuf_iterator<char>(in), {}};
  EXPECT_FALSE(source.empty()) << TARVELO_MAN_PAGE;
  std::string page;
  for (size_t i = 0; i < source.size(); ++i) {
    if (source.compare(i, 2, "\\-") == 0) continue;  // the "-" comes next
    page += source[i];
  }
  std::map<std::string, Lines> sections;
  std::string section;
  std::istringstream lines(page);
  std::string line;
  while (std::getline(lines, line)) {
    if (line.rfind(".SH ", 0) == 0) {
      section = line.substr(4);
      continue;
    }
    std::vector<std::string> words;
    std::istringstream split(line);
    std::string word;
    while (split >> word) {
      const size_t first = word.find_first_not_of("[]|\"(),");
      const size_t last = word.find_last_not_of("[]|\"(),");
      if (first != std::string::npos) words.push_back(word.substr(first, last - first + 1));
    }
    sections[section].push_back(words);
  }
  return sections;
}

bool Has(const std::vector<std::string>& words, const std::string& word) {
  return std::find(words.begin(), words.end(), word) != words.end();
}

// The synopsis cut into each command's part: from ".B tarvelo-cli NAME" to the next.
std::map<std::string, std::vector<std::string>> Synopsis(const Lines& lines) {
  std::map<std::string, std::vector<std::string>> parts;
  std::string command;
  for (const auto& words : lines) {
    if (words.size() >= 3 && words[0] == ".B" && words[1] == "tarvelo-cli") command = words[2];
    if (!command.empty()) parts[command].insert(parts[command].end(), words.begin(), words.end());
  }
  return parts;
}

// The words of the lines that follow a ".TP" (or ".TQ", a term sharing the one before's
// text): the terms a section explains.
std::set<std::string> Terms(const Lines& lines) {
  std::set<std::string> terms;
  for (size_t i = 0; i + 1 < lines.size(); ++i) {
    if (lines[i].size() == 1 && (lines[i][0] == ".TP" || lines[i][0] == ".TQ")) {
      terms.insert(lines[i + 1].begin(), lines[i + 1].end());
    }
  }
  return terms;
}

}  // namespace

TEST(ManPage, NamesEveryCommandAndOptionTheHelpLists) {
  auto sections = Sections();
  const auto synopsis = Synopsis(sections["ÁTTEKINTÉS"]);
  const auto commands = Terms(sections["PARANCSOK"]);
  const auto options = Terms(sections["KAPCSOLÓK"]);
  std::set<std::string> inTable;
  for (const Command& c : Commands()) {
    const std::string& name = c.names.front();
    inTable.insert(c.names.begin(), c.names.end());
    if (c.usage.empty()) {
      // Not in the help's list (the help itself): named somewhere all the same.
      for (const std::string& n : c.names) {
        bool found = false;
        for (const auto& [title, lines] : sections) {
          for (const auto& words : lines) found = found || Has(words, n);
        }
        EXPECT_TRUE(found) << n;
      }
      continue;
    }
    ASSERT_TRUE(synopsis.count(name)) << "no synopsis of " << name;
    EXPECT_TRUE(commands.count(name)) << "no description of " << name;
    std::vector<std::string> all = c.withValue;
    all.insert(all.end(), c.flags.begin(), c.flags.end());
    for (const std::string& option : all) {
      EXPECT_TRUE(Has(synopsis.at(name), option)) << name << " " << option << " not in synopsis";
      EXPECT_TRUE(options.count(option)) << option << " not explained";
    }
  }
  for (const auto& [name, words] : synopsis) {
    EXPECT_TRUE(inTable.count(name)) << "the page names a command the tool lacks: " << name;
  }
}
