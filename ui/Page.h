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
  virtual void SetModified() = 0;
  virtual DialogService& dialogs() = 0;
  virtual LeaveDispatcher& leave() = 0;
  // The whole-image decode into every page, with its messages and status panel.
  virtual void DecodeImage() = 0;
  // Status panel 1: the code count and length, e.g. "100/6".
  virtual void ShowCodeCount(const QString& text) = 0;
  // An exchange-file command has used the shared open (or save) dialog: from now on that
  // dialog offers the database files in their later form.
  virtual void ExchangeDialogUsed(bool openDialog) = 0;
};

// Sets the modified flag when the image differs at the end of the scope. For the handlers
// that store on leaving without the flag of their own: an edit there must not be lost on
// closing without a question, while merely passing through a field asks nothing.
class MarkIfChanged {
 public:
  explicit MarkIfChanged(PageHost& host) : host_(host), before_(host.image()) {}
  ~MarkIfChanged() {
    if (!(host_.image() == before_)) host_.SetModified();
  }
  MarkIfChanged(const MarkIfChanged&) = delete;
  MarkIfChanged& operator=(const MarkIfChanged&) = delete;

 private:
  PageHost& host_;
  const ConfigImage before_;
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
