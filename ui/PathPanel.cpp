#include "ui/PathPanel.h"

#include <QPaintEvent>
#include <QPainter>
#include <QStringList>

namespace tarvelo {

QString ShortenPath(const QString& path, const std::function<bool(const QString&)>& fits) {
  const int slash = path.lastIndexOf('/');
  const QString name = path.mid(slash + 1);
  bool rooted = path.startsWith('/');
  QStringList folders = path.left(slash < 0 ? 0 : slash).split('/', Qt::SkipEmptyParts);
  bool elided = false;
  auto render = [&] {
    QString s = rooted ? "/" : "";
    if (elided) s += ".../";
    for (const auto& f : folders) s += f + "/";
    return s + name;
  };
  QString shown = render();
  while (!fits(shown)) {
    if (!folders.isEmpty()) {
      folders.removeFirst();
      elided = true;
    } else if (rooted) {
      rooted = false;
      elided = true;
    } else if (elided) {
      elided = false;
    } else {
      break;
    }
    shown = render();
  }
  return shown;
}

PathPanel::PathPanel(QWidget* parent) : QFrame(parent) {
  setObjectName("SBarPanel0");
  setFrameStyle(QFrame::Panel | QFrame::Sunken);  // like the other panels
}

void PathPanel::setText(const QString& text) {
  text_ = text;
  update();
}

QString PathPanel::shownText() const {
  const QFontMetrics fm(font());
  const int room = contentsRect().width() - 4;
  return ShortenPath(text_, [&](const QString& s) { return fm.horizontalAdvance(s) <= room; });
}

void PathPanel::paintEvent(QPaintEvent* event) {
  QFrame::paintEvent(event);
  QPainter p(this);
  p.setClipRect(contentsRect());
  p.drawText(contentsRect().adjusted(2, 0, 0, 0), Qt::AlignVCenter | Qt::AlignLeft, shownText());
}

}  // namespace tarvelo
