// Everything the pages show, decoded from the image in the order the pages are filled.
// The window fills its controls from it; the command-line tool prints it.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "model/CodeTable.h"
#include "model/ConfigImage.h"
#include "model/DatabaseRecord.h"
#include "model/General.h"
#include "model/ImageLayout.h"
#include "model/Lines.h"
#include "model/NumberPlan.h"

namespace tarvelo {

struct ByteFieldValue {
  const ByteFieldRow* row;
  long offset;
  int value;
};

struct ImageView {
  GeneralSettings general;
  std::vector<ByteFieldValue> byteFields;  // only the fields the model has
  std::vector<LineView> lines;
  std::optional<Prefixes> prefixes;  // 4-line model only
  std::vector<std::string> exceptionTexts;
  std::vector<ExceptionCells> exceptions;
  CallInSettings callIn;
  CodeGrid codes;
  int codeCount = 0;   // as stored, after any repair
  int codeLength = 0;  // record length − 1
  CodeTableDecode codeDecode;
  std::vector<std::string> freeNumbers;
};

// Decoding repairs a code table that does not fit, so the image may change.
ImageView DecodeImageView(ConfigImage& image, const ImageLayout& layout);

// What a database's own bytes prove about its model. The version text the device wrote
// decides; without one (a database that was never downloaded), the model whose memory map
// reads it as the program itself would have stored it: a code table that fits and holds
// codes, and no setting that would have to be clamped to be shown. When both maps or
// neither read it so, there is no model: the caller has to ask. `reason` says, in UTF-8,
// how the model was proven or why it could not be.
struct ModelProof {
  std::optional<DeviceModel> model;  // no model: ambiguous, ask
  std::string reason;
};
ModelProof ProveDatabaseModel(const DatabaseRecord& record);

// Whether the model's memory map reads the image without any repair or clamp.
bool ReadsWithoutRepairs(const ConfigImage& image, DeviceModel model);

// The model a loaded database is to be shown in: the proven one, else `current`. Kept for
// callers that cannot ask yet; a caller that can should ask when nothing is proven.
DeviceModel ModelToShow(const ConfigImage& image, DeviceModel current);

}  // namespace tarvelo
