// General and SMDR settings (page "&Alap"): decode, encode and the entry checks.
// Store functions return the message to show when the entry is refused; then nothing
// was stored.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "model/ConfigImage.h"
#include "model/ImageLayout.h"

namespace tarvelo {

using Refusal = std::optional<std::string>;  // UTF-8 message, or nothing when stored

const std::vector<std::string>& SmdrSpeedItems(DeviceModel model);
const std::vector<std::string>& SmdrModeItems(DeviceModel model);
const std::vector<std::string>& ParityItems();
const std::vector<std::string>& Below20hItems();
const std::vector<std::string>& CoCharCountItems();

struct SmdrFormatChoice {
  int speed = 0;
  int parity = 0;
  bool operator==(const SmdrFormatChoice&) const = default;
};
struct SmdrModeChoice {
  int mode = 0;
  int below20h = 0;
  bool operator==(const SmdrModeChoice&) const = default;
};
struct Switches {
  bool pinEnable = false;
  bool dstChange = false;
  bool dosUpload = false;
  bool operator==(const Switches&) const = default;
};

// What page "&Alap" shows.
struct GeneralSettings {
  SmdrFormatChoice format;
  SmdrModeChoice mode;
  int coPosition = 0;
  int coCharCountIndex = 0;
  int calledPosition = 0;
  int recordTerminator = 0;
  char numberTerminator = ' ';       // 16-line model only
  std::optional<Switches> switches;  // 4-line model only
};

SmdrFormatChoice DecodeSmdrFormat(const ConfigImage& image, const ImageLayout& layout);
void EncodeSmdrFormat(ConfigImage& image, const ImageLayout& layout, SmdrFormatChoice choice);

SmdrModeChoice DecodeSmdrMode(const ConfigImage& image, const ImageLayout& layout);
void EncodeSmdrMode(ConfigImage& image, const ImageLayout& layout, SmdrModeChoice choice);

// The shared check of every byte-valued edit box: a whole number 0..255 is stored as the
// field's byte, anything else is refused.
extern const char* const kByteRangeMessage;
Refusal TestByteRange(ConfigImage& image, const ImageLayout& layout, Field field,
                      const std::string& text);

int DecodeCoCharCount(const ConfigImage& image, const ImageLayout& layout);  // item index
Refusal EncodeCoCharCount(ConfigImage& image, const ImageLayout& layout, int itemIndex);

std::string DecodeRecordTerminator(const ConfigImage& image, const ImageLayout& layout);
Refusal EncodeRecordTerminator(ConfigImage& image, const ImageLayout& layout,
                               const std::string& text);

char DecodeNumberTerminator(const ConfigImage& image, const ImageLayout& layout);
Refusal EncodeNumberTerminator(ConfigImage& image, const ImageLayout& layout,
                               const std::string& text);

Switches DecodeSwitchBits(const ConfigImage& image, const ImageLayout& layout);
// Keeps the device's bits 3..7; does nothing in a model without the switches.
void EncodeSwitchBits(ConfigImage& image, const ImageLayout& layout, Switches switches);

GeneralSettings DecodeGeneral(const ConfigImage& image, const ImageLayout& layout);

}  // namespace tarvelo
