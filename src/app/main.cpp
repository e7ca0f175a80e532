// Vantor: reads the command line, chooses the registry, then shows the program's one window
// until it is closed.
#include <QApplication>
#include <QDir>
#include <QIcon>
#include <QImageReader>
#include <QPixmap>

#include <cstdio>

#include "CommandLine.h"
#include "Form1.h"
#include "RegMod.h"
#include "RegistryWine.h"

namespace {

int Fail(const std::string& why) {
  std::fprintf(stderr, "vantor: %s\n", why.c_str());
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  const app::CommandLine command = app::ReadCommandLine(std::vector<std::string>(argv + 1, argv + argc));
  if (command.action == app::CommandLine::Action::kPrint) {
    std::fputs(command.text.c_str(), stdout);
    return 0;
  }
  if (command.action == app::CommandLine::Action::kFail) return Fail(command.text + " (see vantor --help)");

  // Wine starts the bridge while Qt starts the window's machinery.
  std::unique_ptr<platform::WineRegistry> wine;
  std::string error;
  if (command.winePrefix) {
    wine = platform::WineRegistry::Start(*command.winePrefix, app::WineBridgeProgram(), &error);
    if (!wine) return Fail(error);
  }

  std::vector<char*> toolkitArgs = {argv[0]};
  for (const std::string& arg : command.rest) toolkitArgs.push_back(const_cast<char*>(arg.c_str()));
  int toolkitArgc = static_cast<int>(toolkitArgs.size());
  toolkitArgs.push_back(nullptr);
  QApplication application(toolkitArgc, toolkitArgs.data());
  if (toolkitArgc > 1) return Fail(std::string("unknown argument ") + toolkitArgs[1] + " (see vantor --help)");

  // The shell finds the program's desktop entry, and with it the icon, by this name.
  QApplication::setDesktopFileName("vantor");
  QIcon icon;
  for (const QFileInfo& picture : QDir(":/icons").entryInfoList()) {
    QImageReader reader(picture.filePath(), "png");
    reader.setAutoDetectImageFormat(false);
    icon.addPixmap(QPixmap::fromImage(reader.read()));
  }
  QApplication::setWindowIcon(icon);

  // The window's controls are made while the bridge starts; the registry is first read
  // when the window loads, in Run.
  const std::unique_ptr<platform::Window> form = window::CreateForm1();
  if (wine) {
    if (!wine->WaitUntilReady(&error)) return Fail(error);
    regmod::UseRegistry(*wine);
  }
  return form->Run();
}
