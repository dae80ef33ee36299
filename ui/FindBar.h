// The search line of the codes and numbers pages: Ctrl+F anywhere on the page opens it,
// Enter looks for the next match, Escape closes it and gives the focus back.
#pragma once

#include <QWidget>
#include <functional>

class QLineEdit;

namespace tarvelo {

class FindBar : public QWidget {
 public:
  // `findNext` gets the typed text each time Enter is pressed; `back` is what gets the
  // focus when the bar closes.
  FindBar(const QString& editName, QWidget* page, QWidget* back,
          std::function<void(const QString&)> findNext);
  void open();
  void close();
  QLineEdit* edit() const { return edit_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QLineEdit* edit_;
  QWidget* back_;
  std::function<void(const QString&)> findNext_;
};

}  // namespace tarvelo
