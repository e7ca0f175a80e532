// Loaded with LD_PRELOAD into a Qt program under measurement, so the program itself needs no
// hook: the first time the event loop is about to wait while a window is exposed, the
// program is shown and idle, and the probe writes one byte to the descriptor named by
// STARTUP_BENCH_FD.
#include <unistd.h>

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QWindow>
#include <cstdlib>

namespace {

// The probe is for the program measured, not for what it starts (vantor --wine starts wine).
[[maybe_unused]] const int kForgotten = unsetenv("LD_PRELOAD");

void ReportFirstIdleWindow() {
  const char* descriptor = std::getenv("STARTUP_BENCH_FD");
  QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance();
  if (!descriptor || !dispatcher) return;
  const int report = std::atoi(descriptor);
  static QMetaObject::Connection watch;
  watch = QObject::connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, [report] {
    for (const QWindow* window : QGuiApplication::topLevelWindows()) {
      if (!window->isExposed()) continue;
      QObject::disconnect(watch);
      const char shown = 1;
      if (write(report, &shown, 1) != 1) std::_Exit(3);
      return;
    }
  });
}

}  // namespace

Q_COREAPP_STARTUP_FUNCTION(ReportFirstIdleWindow)
