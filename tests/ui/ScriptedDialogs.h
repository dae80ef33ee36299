// Answers the program's questions from a script and remembers what it was shown.
#pragma once

#include <QStringList>
#include <deque>

#include "ui/DialogService.h"

namespace tarvelo {

class ScriptedDialogs : public DialogService {
 public:
  struct Shared {
    QStringList messages;         // messages and questions, in order
    QStringList messageCaptions;  // the caption of each plain message
    std::deque<QMessageBox::StandardButton> answers;
    std::deque<QString> openNames, saveNames, passwords;
    QList<FileDialogOptions> fileDialogs;
  };
  explicit ScriptedDialogs(Shared& shared) : s_(shared) {}

  void Message(const QString& text, const QString& caption) override {
    s_.messages << text;
    s_.messageCaptions << caption;
  }
  QMessageBox::StandardButton Ask(const QString& text, const QString& caption,
                                  QMessageBox::StandardButtons, QMessageBox::Icon) override {
    s_.messages << caption + ": " + text;
    return Pop(s_.answers, QMessageBox::Cancel);
  }
  // Scripted with the question answers: Yes presses the first button, No the second, anything
  // else closes the box.
  int Choose(const QString& text, const QString& caption, const QStringList& buttons) override {
    s_.messages << caption + ": " + text + " [" + buttons.join(" | ") + "]";
    const auto answer = Pop(s_.answers, QMessageBox::Cancel);
    return answer == QMessageBox::Yes ? 0 : answer == QMessageBox::No ? 1 : -1;
  }
  QString OpenFileName(const FileDialogOptions& options) override {
    s_.fileDialogs << options;
    return Pop(s_.openNames, QString());
  }
  QString SaveFileName(const FileDialogOptions& options) override {
    s_.fileDialogs << options;
    return Pop(s_.saveNames, QString());
  }
  QString Password() override {
    s_.messages << "[password]";
    return Pop(s_.passwords, QString());
  }

 private:
  template <typename T>
  static T Pop(std::deque<T>& q, T fallback) {
    if (q.empty()) return fallback;
    T v = q.front();
    q.pop_front();
    return v;
  }
  Shared& s_;
};

}  // namespace tarvelo
