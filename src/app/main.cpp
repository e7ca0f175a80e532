// Vantor: the application object, then the program's one window until it is closed.
#include <QApplication>
#include <QDir>
#include <QIcon>
#include <QImageReader>
#include <QPixmap>

#include "Form1.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  // The shell finds the program's desktop entry, and with it the icon, by this name.
  QApplication::setDesktopFileName("vantor");
  QIcon icon;
  for (const QFileInfo& picture : QDir(":/icons").entryInfoList()) {
    QImageReader reader(picture.filePath(), "png");
    reader.setAutoDetectImageFormat(false);
    icon.addPixmap(QPixmap::fromImage(reader.read()));
  }
  QApplication::setWindowIcon(icon);

  const std::unique_ptr<platform::Window> form = window::CreateForm1();
  return form->Run();
}
