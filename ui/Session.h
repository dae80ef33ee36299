// What lives for the whole run beside the window: the open database and the workstation's
// settings.
#pragma once

#include <chrono>
#include <optional>
#include <string>

#include "files/Workstation.h"
#include "model/DatabaseRecord.h"

namespace tarvelo {

struct Session {
  DatabaseRecord record;
  std::string databaseFileName;
  std::optional<std::chrono::system_clock::time_point> fileDate;
  WorkstationSettings workstation;
  std::string programIniPath = ProgramIniPath();
  std::string connectionsIniPath = ConnectionsIniPath();
};

}  // namespace tarvelo
