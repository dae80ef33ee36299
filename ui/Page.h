// What every settings page gets from the main window, and what it offers back.
#pragma once

#include <QWidget>

#include "model/ConfigImage.h"
#include "model/ImageLayout.h"
#include "model/ImageView.h"

namespace tarvelo {

class DialogService;
class LeaveDispatcher;

class PageHost {
 public:
  virtual ~PageHost() = default;
  virtual ConfigImage& image() = 0;
  virtual const ImageLayout& layout() const = 0;
  virtual DialogService& dialogs() = 0;
  virtual LeaveDispatcher& leave() = 0;
  // The whole-image decode into every page, with its messages and status panel.
  virtual void DecodeImage() = 0;
  // Status panel 1: the code count and length, e.g. "100/6".
  virtual void ShowCodeCount(const QString& text) = 0;
  // A passing word in the status bar: why a key did nothing, where a command stopped.
  virtual void ShowStatus(const QString& text) = 0;
  // An exchange-file command has used the shared open (or save) dialog: from now on that
  // dialog offers the database files in their later form.
  virtual void ExchangeDialogUsed(bool openDialog) = 0;
};

class Page : public QWidget {
 public:
  Page(const QString& objectName, PageHost& host) : host_(host) { setObjectName(objectName); }
  // The page's part of the model switch: item lists and visibility. No decode.
  virtual void ApplyModel(DeviceModel) {}
  // The page's part of the whole-image decode.
  virtual void Decode(const ImageView&) {}

 protected:
  PageHost& host_;
};

}  // namespace tarvelo
