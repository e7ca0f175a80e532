// What the Qt adapter decides beyond the toolkit contract: the widgets it picks and how
// they show the controls' texts.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDialogButtonBox>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include "Toolkit.h"
#include "ToolkitQt.h"

namespace {

using platform::ControlDef;
using platform::ControlKind;

constexpr ControlDef kControls[] = {
    {.name = "Edit", .kind = ControlKind::TextBox, .left = 120, .top = 120, .width = 3000, .height = 285},
};
constexpr const char* kFocusOrder[] = {"Edit"};
constexpr platform::WindowDef kWindow = {"Qt adapter", 3300, 2100, 0x00E0E0E0, kFocusOrder};

class ToolkitQtTest : public testing::Test {
 protected:
  std::unique_ptr<platform::Window> window_ = platform::CreateWindow(kWindow, kControls);
  QWidget& form_ = platform::WidgetOf(*window_);
};

TEST_F(ToolkitQtTest, TextBoxesKeepZeroCharacters) {
  const std::string withZero("before\0after", 12);
  window_->TextBoxNamed("Edit").SetText(withZero);
  EXPECT_EQ(window_->TextBoxNamed("Edit").Text(), withZero);
}

TEST_F(ToolkitQtTest, AskYesNoIsAnApplicationModalErrorBoxWithYesAndNo) {
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  Qt::WindowModality modality = Qt::NonModal;
  QDialogButtonBox::StandardButtons buttons;
  QTimer::singleShot(0, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    ASSERT_NE(box, nullptr);
    icon = box->icon();
    modality = box->windowModality();
    buttons = box->findChild<QDialogButtonBox*>()->standardButtons();
    box->button(QMessageBox::No)->click();
  });
  EXPECT_FALSE(window_->AskYesNo("Question", "Title"));
  EXPECT_EQ(icon, QMessageBox::Critical);
  EXPECT_EQ(modality, Qt::ApplicationModal);
  EXPECT_EQ(buttons, QDialogButtonBox::Yes | QDialogButtonBox::No);
}

}  // namespace
