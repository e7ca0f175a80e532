// Vantor: reads the command line, chooses the registry, then shows the program's one window
// until it is closed.
#include <QApplication>
#include <QDir>
#include <QIcon>
#include <QImageReader>
#include <QPixmap>

#include <cstdio>
#include <cstdlib>
#include <utility>

#include "app/CommandLine.h"
#include "registry/RegMod.h"
#include "window/Form1.h"

namespace {

int Fail(const std::string& why) {
  std::fprintf(stderr, "vantor: %s\n", why.c_str());
  return 2;
}

// What names the display that Qt opens, as "VARIABLE is VALUE", or empty when nothing does.
std::string DisplaySetting() {
  for (const char* variable : {"QT_QPA_PLATFORM", "WAYLAND_DISPLAY", "DISPLAY"})
    if (const char* value = std::getenv(variable); value && *value) return std::string(variable) + " is " + value;
  return {};
}

// Qt ends the process when it can't open the display (one that is named but out of reach, a
// platform that doesn't start). While it starts, its messages are held back, so that this
// gives one line of ours and exit code 2, after the registry started meanwhile (a Wine
// bridge) has ended. Qt's message handler takes no context: the registry is reached here.
std::shared_ptr<platform::Registry>* registryStarting = nullptr;
QStringList toolkitMessages;

void HoldToolkitMessage(QtMsgType type, const QMessageLogContext& context, const QString& message) {
  if (type != QtFatalMsg) {
    toolkitMessages << qFormatLogMessage(type, context, message);
    return;
  }
  Fail("no display could be opened (" + DisplaySetting() + ")");
  if (registryStarting) registryStarting->reset();
  std::_Exit(2);
}

// The small pictures of the icon that the program carries, read as the PNGs they are.
QIcon CarriedIcon() {
  QIcon icon;
  for (const QFileInfo& picture : QDir(":/icons").entryInfoList()) {
    QImageReader reader(picture.filePath(), "png");
    reader.setAutoDetectImageFormat(false);
    icon.addPixmap(QPixmap::fromImage(reader.read()));
  }
  return icon;
}

}  // namespace

int main(int argc, char** argv) {
  const app::CommandLine command = app::ReadCommandLine(std::vector<std::string>(argv + 1, argv + argc));
  if (command.action == app::CommandLine::Action::kPrint) {
    std::fputs(command.text.c_str(), stdout);
    return 0;
  }
  if (command.action == app::CommandLine::Action::kFail) return Fail(command.text + " (see vantor --help)");
  if (DisplaySetting().empty()) return Fail("no display could be opened: neither DISPLAY nor WAYLAND_DISPLAY is set");

  // A registry that starts in the background (Wine's bridge) starts while Qt starts the
  // window's machinery.
  std::string why;
  std::shared_ptr<platform::Registry> registry = backends::OpenRegistry(
      command.registry, [](const std::string& fault) { Fail(fault); }, &why);
  if (!registry) return Fail(why);

  registryStarting = &registry;
  const QtMessageHandler defaultHandler = qInstallMessageHandler(HoldToolkitMessage);
  int toolkitArgc = 1;
  QApplication application(toolkitArgc, argv);
  qInstallMessageHandler(defaultHandler);
  registryStarting = nullptr;
  for (const QString& message : std::as_const(toolkitMessages)) std::fprintf(stderr, "%s\n", qPrintable(message));

  // The shell finds the program's desktop entry, and with it the icon, by this name.
  QApplication::setDesktopFileName("vantor");
  QApplication::setWindowIcon(CarriedIcon());

  // The window's controls are made while the registry starts; it is first read when the
  // window loads, in Run.
  const std::unique_ptr<platform::Window> form = window::CreateForm1(&why);
  if (!form) return Fail(why);
  if (registry->WaitUntilReady(&why) != platform::kSuccess) return Fail(why);
  registry::UseRegistry(*registry);
  return form->Run();
}
