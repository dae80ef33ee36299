// tarvelo-cli backup: every site of a sites file downloaded into a folder of its own, several
// at once, each compared with its previous backup, one line a site.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tarvelo {

struct Args;

constexpr int kDefaultBackupJobs = 4;
constexpr int kMaxBackupJobs = 32;

// Why a site's name cannot be its backup folder's name (UTF-8), nothing when it can. The
// name is taken as it is or not at all: a name mapped onto another could share its folder
// with a second site, and each would be compared with the other's backups.
std::optional<std::string> SiteNameRefusal(std::string_view name);

// Whether a file name is one a backup is written under ("2024-03-05_0207.pi1", or with the
// seconds, "2024-03-05_020715.pi1", when that minute's name was taken). Such names sort in
// the order they were written.
bool IsBackupFileName(std::string_view name);

// tarvelo-cli backup SITES.ini -d FOLDER [-j N], with its arguments parsed. 0 only when every
// site was backed up.
int RunBackupCommand(const Args& args);

}  // namespace tarvelo
