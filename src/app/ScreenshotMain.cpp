// vantor-screenshot DIR: pictures of the window for the documentation. Runs the program on
// the offscreen platform against a throw-away hive that holds a demo user and three
// messages, with the start-up warning switched off, and writes DIR/vantor-browse.png (the
// messages listed, compact height) and DIR/vantor-modify.png (one being modified).
#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <memory>
#include <string>

#include "platform/ToolkitQt.h"
#include "registry/RegMod.h"
#include "window/ControlNames.h"
#include "window/Form1.h"

namespace {

constexpr const char* kDemoUser = "demo_user";
constexpr const char* kDemoMessages[] = {"Out to lunch, back at two", "In a meeting", "Working from home today"};
constexpr int kPatienceMs = 5000;
constexpr int kSettleMs = 100;

void SeedHive() {
  using registry::ValueType;
  const platform::RegKey user = platform::kCurrentUser;
  registry::SetRegValue(user, registry::kProfilesKey, registry::kAlertValue, ValueType::String, window::kWarningOff);
  registry::SetRegValue(user, registry::kPagerKey, registry::kLastUserValue, ValueType::String, kDemoUser);
  int slot = 0;
  for (const char* message : kDemoMessages) {
    registry::SetRegValue(user, registry::CustomMessageKey(), std::to_string(++slot), ValueType::String, message);
  }
}

// Presses a button once the program has enabled it; its timer enables some a tick later.
bool Press(QWidget& form, const char* name) {
  auto* button = form.findChild<QPushButton*>(name);
  const QDeadlineTimer deadline(kPatienceMs);
  while (button && !button->isEnabled() && !deadline.hasExpired()) {
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
  }
  if (!button || !button->isEnabled()) return false;
  button->click();
  return true;
}

// Lets the program's timer bring the buttons up to date first, as a person would see them.
bool Save(QWidget& form, const QDir& folder, const char* file) {
  QEventLoop settle;
  QTimer::singleShot(kSettleMs, &settle, &QEventLoop::quit);
  settle.exec();
  const QString path = folder.filePath(file);
  if (form.grab().save(path)) return true;
  std::fprintf(stderr, "vantor-screenshot: cannot write %s\n", qPrintable(path));
  return false;
}

bool TakePictures(QWidget& form, const QDir& folder) {
  if (!Press(form, window::kGetStatusesButton.name()) || !Save(form, folder, "vantor-browse.png")) return false;
  auto* list = form.findChild<QListWidget*>(window::kList.name());
  if (!list || list->count() == 0) return false;
  list->setCurrentRow(1);
  return Press(form, window::kModifyButton.name()) && Save(form, folder, "vantor-modify.png");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: vantor-screenshot DIR\n");
    return 2;
  }
  qputenv("QT_QPA_PLATFORM", "offscreen");
  const QTemporaryDir hive;
  if (!hive.isValid()) return 1;
  qputenv("XDG_DATA_HOME", QFile::encodeName(hive.path()));
  SeedHive();

  QApplication application(argc, argv);
  const QDir folder(QString::fromLocal8Bit(argv[1]));
  if (!folder.mkpath(".")) return 1;
  std::string why;
  const std::unique_ptr<platform::Window> form = window::CreateForm1(&why);
  if (!form) return 1;
  QWidget& widget = platform::WidgetOf(*form);
  bool taken = false;
  QTimer::singleShot(0, &widget, [&] {
    taken = TakePictures(widget, folder);
    widget.close();
  });
  const int result = form->Run();
  if (!taken) std::fprintf(stderr, "vantor-screenshot: the window did not get to both pictures\n");
  return taken ? result : 1;
}
