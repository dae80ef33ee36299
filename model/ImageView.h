// Everything the pages show, decoded from the image in the order the pages are filled.
// The window fills its controls from it; the command-line tool prints it.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "model/CodeTable.h"
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

// The model a loaded database is to be shown in: the one its version text names; without
// one (a database that was never downloaded), the current model unless only the other one
// reads its code table without repairs — read with the wrong map, the repair would write
// into the other model's timers and code record length.
DeviceModel ModelToShow(const ConfigImage& image, DeviceModel current);

}  // namespace tarvelo
