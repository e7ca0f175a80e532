// The baseline of the start-up benchmark: a bare Qt window of Vantor's size when it starts
// (385 x 162 pixels), with nothing in it.
#include <QApplication>
#include <QWidget>

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  QWidget window;
  window.setWindowTitle("Bare window");
  window.setFixedSize(385, 162);
  window.show();
  return QApplication::exec();
}
