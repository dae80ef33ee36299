// Loading a database named on the command line: the one way every command that reads one
// gets its password and its model.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "model/ConfigImage.h"
#include "model/DatabaseRecord.h"

namespace tarvelo {

struct Args;

struct OpenedDatabase {
  DatabaseRecord record;
  DeviceModel model = DeviceModel::FourLine;
};

// Asks on the terminal without echo. A character Windows-1250 lacks can be part of no stored
// password: it is refused (UsageError) rather than read as an empty one, which would open an
// unprotected database instead.
std::string AskPasswordOnTerminal(const std::string& path);

// The password is the option's value when given, else asked on a terminal (naming the file),
// else empty. The model is the one the database proves (its version text, else the one
// memory map that reads it without repair); a forced model that contradicts it is refused
// (UsageError, naming both), and only a database that proves none takes the forced one or
// needs it (UsageError without). On a load failure the message is printed and nothing is
// returned.
std::optional<OpenedDatabase> OpenDatabase(const std::string& path, const Args& args,
                                           const char* passwordOption,
                                           std::optional<DeviceModel> forcedModel);

// The repairs a code table needed when it was read, one "figyelmeztetés:" line each on stderr
// (the window's line breaks in them become blanks).
void WarnOfRepairs(const std::vector<std::string>& messages);

}  // namespace tarvelo
