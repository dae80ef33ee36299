// The reason the system gives for a failed call, in the user's language: Hungarian for the
// causes a user meets and can act on, the system's own text for the rest. Shared by the file
// and the port messages.
#pragma once

#include <string>

namespace tarvelo {

std::string SystemErrorText(int err);

}  // namespace tarvelo
