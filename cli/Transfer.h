#pragma once

namespace tarvelo {

struct Args;

// tarvelo-cli download / upload / prom / clock, with their arguments parsed; each returns
// the exit status.
int RunDownloadCommand(const Args& args);
int RunUploadCommand(const Args& args);
int RunPromCommand(const Args& args);
int RunClockCommand(const Args& args);

}  // namespace tarvelo
