// Settings in the form `show --json` writes, stored back into a database through the rules
// and checks of the pages.
#pragma once

#include "cli/Args.h"
#include "cli/JsonRead.h"
#include "model/DatabaseRecord.h"
#include "model/General.h"
#include "model/ImageLayout.h"

namespace tarvelo {

// Stores every setting `settings` holds (all of show's object, or any part of it) into
// `record`. The image is decoded first, as the pages do, which repairs a code table that
// does not fit. A setting that already has the given value is not stored again, so show's own
// output leaves the record byte for byte as it was. Refused, with a message naming the field:
// an unknown key, a value the page refuses, and a value the page would store otherwise than
// given (cut, padded past recognition, or turned into another item). On a refusal the record
// is unchanged.
Refusal ApplySettings(const JsonValue& settings, DatabaseRecord& record, const ImageLayout& layout);

// tarvelo-cli apply SETTINGS.json DB; returns the exit status.
int RunApplyCommand(const Args& args);

}  // namespace tarvelo
