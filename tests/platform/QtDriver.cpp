// The user of a Qt window: QTest's key and mouse events, sent to the widgets that carry the
// controls' names. The test program's QApplication lives from before the first test to
// after the last.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDialogButtonBox>
#include <QInputDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "platform/ToolkitQt.h"
#include "tests/platform/Driver.h"

namespace driver {
namespace {

class QtApplication final : public testing::Environment {
 public:
  void SetUp() override { application_ = std::make_unique<QApplication>(argc_, argv_); }
  void TearDown() override { application_.reset(); }

 private:
  char name_[14] = "toolkit_tests";
  int argc_ = 1;
  char* argv_[2] = {name_, nullptr};
  std::unique_ptr<QApplication> application_;
};

[[maybe_unused]] testing::Environment* const kApplication = testing::AddGlobalTestEnvironment(new QtApplication);

QWidget& Control(platform::Window& window, const std::string& name) {
  auto* control = platform::WidgetOf(window).findChild<QWidget*>(QString::fromStdString(name));
  if (!control) qFatal("The test names a control the window lacks: %s", name.c_str());
  return *control;
}

// The keyboard reaches a window only once it is active, which the platform makes it a
// little after it shows; a person waits for that too, and clicks on it when a dialog
// closed on top of it left it inactive.
QWidget& ActiveForm(platform::Window& window) {
  QWidget& form = platform::WidgetOf(window);
  form.activateWindow();
  if (!QTest::qWaitForWindowActive(&form)) ADD_FAILURE() << "the window never became active";
  return form;
}

void Respond(QWidget& dialog, Answer answer, const std::string& typed, Dialog& seen) {
  seen.answered = true;
  seen.title = dialog.windowTitle().toStdString();
  if (auto* box = qobject_cast<QMessageBox*>(&dialog)) seen.text = box->text().toStdString();
  if (auto* input = qobject_cast<QInputDialog*>(&dialog)) seen.text = input->labelText().toStdString();
  if (auto* field = dialog.findChild<QLineEdit*>()) QTest::keyClicks(field, QString::fromStdString(typed));
  QWidget* focus = QApplication::focusWidget();
  if (answer == Answer::Enter) return QTest::keyClick(focus ? focus : &dialog, Qt::Key_Return);
  using Buttons = QDialogButtonBox;
  const Buttons::StandardButton which = answer == Answer::Yes  ? Buttons::Yes
                                        : answer == Answer::No ? Buttons::No
                                        : answer == Answer::Ok ? Buttons::Ok
                                                               : Buttons::Cancel;
  QAbstractButton* button = dialog.findChild<Buttons*>()->button(which);
  if (!button) qFatal("The dialog lacks the button the test answers with");
  QTest::mouseClick(button, Qt::LeftButton);
}

}  // namespace

void Later(int ms, std::function<void()> function) { QTimer::singleShot(ms, std::move(function)); }

void Close(platform::Window& window) { platform::WidgetOf(window).close(); }

int WhileShown(platform::Window& window, std::function<void()> userPart) {
  std::function<void()> start = [&] {
    if (QApplication::activeModalWidget() || !IsShown(window)) return Later(10, start);
    userPart();
    Close(window);
  };
  Later(0, start);
  return window.Run();
}

bool IsShown(platform::Window& window) { return platform::WidgetOf(window).isVisible(); }

Rect ClientArea(platform::Window& window) {
  const QWidget& form = platform::WidgetOf(window);
  const QPoint corner = form.mapToGlobal(QPoint(0, 0));
  return {corner.x(), corner.y(), form.width(), form.height()};
}

std::string FocusedControl(platform::Window& window) {
  const QWidget& form = ActiveForm(window);
  for (QWidget* focus = QApplication::focusWidget(); focus; focus = focus->parentWidget())
    if (focus->parentWidget() == &form) return focus->objectName().toStdString();
  return {};
}

void PressTab(platform::Window& window) {
  QWidget& form = ActiveForm(window);
  QWidget* focus = QApplication::focusWidget();
  QTest::keyClick(focus ? focus : &form, Qt::Key_Tab);
}

void Type(platform::Window& window, const std::string& box, const std::string& text) {
  ActiveForm(window);
  QWidget& control = Control(window, box);
  QTest::mouseClick(&control, Qt::LeftButton);
  QTest::keyClicks(&control, QString::fromStdString(text));
}

void Click(platform::Window& window, const std::string& button) {
  QTest::mouseClick(&Control(window, button), Qt::LeftButton);
}

void ClickRow(platform::Window& window, const std::string& list, int row) {
  auto* rows = qobject_cast<QListWidget*>(&Control(window, list));
  QTest::mouseClick(rows->viewport(), Qt::LeftButton, {}, rows->visualItemRect(rows->item(row)).center());
}

std::vector<std::string> Rows(platform::Window& window, const std::string& list) {
  auto* rows = qobject_cast<QListWidget*>(&Control(window, list));
  std::vector<std::string> texts;
  for (int row = 0; row < rows->count(); ++row) texts.push_back(rows->item(row)->text().toStdString());
  return texts;
}

std::shared_ptr<const Dialog> AnswerNextDialog(Answer answer, const std::string& typed) {
  auto seen = std::make_shared<Dialog>();
  auto* poll = new QTimer;
  QObject::connect(poll, &QTimer::timeout, [poll, seen, answer, typed] {
    QWidget* dialog = QApplication::activeModalWidget();
    if (!dialog) return;
    poll->stop();
    poll->deleteLater();
    Respond(*dialog, answer, typed, *seen);
  });
  poll->start(10);
  return seen;
}

}  // namespace driver
