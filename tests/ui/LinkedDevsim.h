// The device simulator linked into a stand-in device folder as ttyUSB0, the port the window
// lists as "USB0".
#pragma once

#include <QString>

#include "tools/DevsimProcess.h"

namespace tarvelo {

inline DevsimProcess LinkedDevsim(const QString& dir, const QString& image, const char* model) {
  return DevsimProcess(TARVELO_DEVSIM, {"--image", image.toStdString(), "--model", model, "--link",
                                        (dir + "/ttyUSB0").toStdString()});
}

}  // namespace tarvelo
