// The bare window of the start-up benchmark with one line of text in it: the cost of
// starting the font system, which any window with captions pays.
#include <QApplication>
#include <QLabel>

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  QLabel window("Last name logged in is:");
  window.setWindowTitle("Labelled window");
  window.setFixedSize(385, 162);
  window.show();
  return QApplication::exec();
}
