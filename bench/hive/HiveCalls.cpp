// hive_calls MODE COUNT: makes COUNT calls of one kind on a fresh hive, between two marks
// that bench/count-calls finds when it traces the system calls or counts the instructions:
// a write to no file ("hive_calls begin") before the calls, and another ("hive_calls end")
// after them. MODE is
//   keystroke  a key typed into the first slot's edit box of the real window (Qt, offscreen),
//              alternately a letter and a backspace, each stored durably as it returns
//   set        SetRegValue of a new text into one slot
//   delete     DeleteRegValue of a value set before the first mark
//   get        GetRegValue of one slot
#include <unistd.h>
#include <QApplication>
#include <QLineEdit>
#include <QTest>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "bench/DurableWrite.h"
#include "platform/ToolkitQt.h"
#include "registry/RegMod.h"
#include "slots/Slots.h"
#include "window/ControlNames.h"
#include "window/Form1.h"

namespace {

using platform::kCurrentUser;
using registry::ValueType;

void Mark(const char* text) {
  const std::string line = std::string("hive_calls ") + text;
  if (write(-1, line.data(), line.size()) >= 0) std::abort();
}

std::string DeletedName(int i) { return std::to_string(i) + " to delete"; }

// The calls counted, in a function of their own, which the instruction count starts and ends
// with (callgrind's --toggle-collect).
__attribute__((noinline)) void MeasuredCalls(const std::string& mode, int count, QLineEdit* box) {
  const std::string key = registry::CustomMessageKey();
  for (int i = 0; i < count; ++i) {
    if (mode == "keystroke")
      QTest::keyClick(box, i % 2 ? Qt::Key_Backspace : Qt::Key_X);
    else if (mode == "set")
      registry::SetRegValue(kCurrentUser, key, "1", ValueType::String, "Back in " + std::to_string(i));
    else if (mode == "delete")
      registry::DeleteRegValue(kCurrentUser, key, DeletedName(i));
    else
      registry::GetRegValue(kCurrentUser, key, "2");
  }
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc == 3 ? argv[1] : "";
  if (mode != "keystroke" && mode != "set" && mode != "delete" && mode != "get") {
    std::fprintf(stderr, "usage: hive_calls keystroke|set|delete|get COUNT\n");
    return 2;
  }
  const int count = std::atoi(argv[2]);
  const std::string folder = MakeBenchFolder();
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  registry::SetRegValue(kCurrentUser, registry::kPagerKey, registry::kLastUserValue, ValueType::String, "jdoe");
  std::string why;
  std::unique_ptr<platform::Window> form = window::CreateForm1(&why);
  if (!form) return 2;
  platform::WidgetOf(*form).show();
  for (const char* valueName : slots::kValueNames)
    registry::SetRegValue(kCurrentUser, registry::CustomMessageKey(), valueName, ValueType::String, "Back soon");
  slots::LoadStatuses(window::SlotControls(*form));
  if (mode == "delete") {
    for (int i = 0; i < count; ++i)
      registry::SetRegValue(kCurrentUser, registry::CustomMessageKey(), DeletedName(i), ValueType::String, "x");
  }
  auto* box = platform::WidgetOf(*form).findChild<QLineEdit*>(window::kEditBoxes[0].name());

  Mark("begin");
  MeasuredCalls(mode, count, box);
  Mark("end");
  std::filesystem::remove_all(folder);
  return 0;
}
