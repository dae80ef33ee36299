#pragma once

namespace tarvelo {

struct Args;

// tarvelo-cli codes export|import and numbers export|import, with their arguments parsed
// (the action word in Args::action); each returns the exit status.
int RunCodesCommand(const Args& args);
int RunNumbersCommand(const Args& args);

}  // namespace tarvelo
