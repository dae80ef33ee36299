// The settings of a database as one flat list of (page, label, value) entries, and the
// comparison of two such lists: `tarvelo-cli diff`, and the report of what `apply` changed.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "cli/Args.h"
#include "model/DatabaseRecord.h"
#include "model/ImageView.h"
#include "model/Pages.h"

namespace tarvelo {

struct SettingEntry {
  std::string page;   // UTF-8
  std::string label;  // the field's Hungarian label; list entries carry their number
  std::string value;  // UTF-8, as the page shows it
};

// Every setting the pages show, in page order. The password is left out.
std::vector<SettingEntry> FlattenSettings(const DatabaseRecord& record, const ImageLayout& layout,
                                          const ImageView& view);

struct SettingChange {
  std::string page, label;
  std::optional<std::string> a, b;  // nothing: the entry is not there on that side
};

// Entries are matched by page and label; changes come in A's order, then the entries only B
// has. With `commonOnly` an entry that one side lacks is no difference (databases of two
// models).
std::vector<SettingChange> DiffSettings(const std::vector<SettingEntry>& a,
                                        const std::vector<SettingEntry>& b, bool commonOnly);

// One line a change: page, label, value in A, value in B, separated by tabs; values are
// quoted as JSON strings, a missing one is "-". In JSON a missing value has no key.
std::string DiffText(const std::vector<SettingChange>& changes);
std::string DiffJson(const std::vector<SettingChange>& changes);

// tarvelo-cli diff A B: the exit status says whether they differ; 2 (kFileError) on any
// error, a usage error included, so that no error passes for a difference.
constexpr int kSettingsEqual = 0;
constexpr int kSettingsDiffer = 1;
int RunDiffCommand(const Args& args);

}  // namespace tarvelo
