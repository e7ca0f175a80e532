// The slots through the real Qt window (offscreen): a keystroke in an edit box until its
// value is stored durably, and whole reloads of five messages, next to one durable write of
// a plain file measured in the same run.
#include <QApplication>
#include <QLineEdit>
#include <QTest>

#include <cstdio>
#include <filesystem>

#include "bench/DurableWrite.h"
#include "platform/ToolkitQt.h"
#include "registry/RegMod.h"
#include "slots/Slots.h"
#include "window/ControlNames.h"
#include "window/Form1.h"

namespace {

using platform::kCurrentUser;

std::string g_folder;
platform::Window* g_form = nullptr;

void BM_DurableWriteBaseline(benchmark::State& state) { DurableWriteBaseline(state, g_folder); }

// A reload whose edit boxes already show the five messages: five reads, nothing written.
void BM_LoadStatusesUnchanged(benchmark::State& state) {
  for (auto _ : state) slots::LoadStatuses(window::SlotControls(*g_form));
}

// A reload into empty edit boxes, as after start-up: five reads and five write-backs.
void BM_LoadStatusesIntoEmptyBoxes(benchmark::State& state) {
  for (auto _ : state) {
    state.PauseTiming();
    for (std::size_t k = 0; k < slots::kValueNames.size(); ++k) {
      window::kEditBoxes[k].In(*g_form).SetText("");
      registry::SetRegValue(kCurrentUser, registry::CustomMessageKey(), slots::kValueNames[k],
                            registry::ValueType::String, "Back in five minutes");
    }
    state.ResumeTiming();
    slots::LoadStatuses(window::SlotControls(*g_form));
  }
}

BENCHMARK(BM_DurableWriteBaseline)->MinTime(2.0);
BENCHMARK(BM_LoadStatusesUnchanged);
BENCHMARK(BM_LoadStatusesIntoEmptyBoxes)->MinTime(2.0);

constexpr int kKeystrokes = 5000;

}  // namespace

int main(int argc, char** argv) {
  g_folder = MakeBenchFolder();
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  registry::SetRegValue(kCurrentUser, registry::kPagerKey, registry::kLastUserValue, registry::ValueType::String,
                        "jdoe");
  std::string why;
  std::unique_ptr<platform::Window> form = window::CreateForm1(&why);
  if (!form) return 2;
  g_form = form.get();
  platform::WidgetOf(*form).show();
  for (const char* valueName : slots::kValueNames) {
    registry::SetRegValue(kCurrentUser, registry::CustomMessageKey(), valueName, registry::ValueType::String,
                          "Back in five minutes");
  }
  slots::LoadStatuses(window::SlotControls(*form));

  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  // One key typed into an edit box, its change handler included: the value is committed and
  // synced when the key event returns. Letters and backspaces in turn keep the text short.
  auto* box = platform::WidgetOf(*form).findChild<QLineEdit*>(window::kEditBoxes[0].name());
  bool erase = false;
  const PairedTimes keystroke = TimeInPairs(
      g_folder, kKeystrokes, [] {},
      [&] {
        QTest::keyClick(box, erase ? Qt::Key_Backspace : Qt::Key_X);
        erase = !erase;
      });
  std::filesystem::remove_all(g_folder);

  const double baseline = reporter.Nanoseconds("BM_DurableWriteBaseline");
  std::printf("\nBaseline, 8-byte write + fdatasync: %.1f us; median of %d beside the keystrokes: %.1f us\n",
              baseline / 1e3, kKeystrokes, keystroke.baselineUs);
  std::printf("Keystroke stored durably / baseline, median / median in pairs: %.2f (%.1f us)  (goal <= 1.3) %s\n",
              keystroke.Ratio(), keystroke.callUs, Verdict(keystroke.Ratio(), 1.3));
  std::printf("LoadStatuses, boxes unchanged / baseline: %.2f  (goal <= 12)\n",
              reporter.Nanoseconds("BM_LoadStatusesUnchanged") / baseline);
  std::printf("LoadStatuses, into empty boxes / baseline: %.2f  (goal <= 12)\n",
              reporter.Nanoseconds("BM_LoadStatusesIntoEmptyBoxes") / baseline);
  return 0;
}
