// Status panel 0: the database file name, its leading folders dropped step by step until
// it fits; the file name itself is never cut.
#pragma once

#include <QFrame>
#include <functional>

namespace tarvelo {

QString ShortenPath(const QString& path, const std::function<bool(const QString&)>& fits);

class PathPanel : public QFrame {
 public:
  explicit PathPanel(QWidget* parent = nullptr);
  void setText(const QString& text);
  QString text() const { return text_; }
  QString shownText() const;  // what fits the panel now

 protected:
  void paintEvent(QPaintEvent*) override;

 private:
  QString text_;
};

}  // namespace tarvelo
