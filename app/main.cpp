#include <QApplication>
#include <QMainWindow>

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName("tarvelo");
  QMainWindow window;
  window.setWindowTitle("Tarvelo1.2");
  window.resize(666, 536);
  window.show();
  return app.exec();
}
