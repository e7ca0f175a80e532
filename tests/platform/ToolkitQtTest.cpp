// What the Qt adapter decides beyond the toolkit contract: the widgets it picks and how
// they show the controls' texts.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDialogButtonBox>
#include <QMessageBox>
#include <QPushButton>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTest>
#include <QTimer>

#include "Driver.h"
#include "Toolkit.h"
#include "ToolkitQt.h"

namespace {

using platform::ControlDef;
using platform::ControlKind;

constexpr platform::Colour kNotesColour = 0x00336699;  // red 0x99, green 0x66, blue 0x33
constexpr ControlDef kControls[] = {
    {.name = "Edit", .kind = ControlKind::TextBox, .left = 120, .top = 120, .width = 3000, .height = 285},
    {.name = "Notes", .kind = ControlKind::TextBox, .left = 120, .top = 480, .width = 3000, .height = 1500,
     .background = kNotesColour, .multiLine = true},
};
constexpr const char* kFocusOrder[] = {"Edit", "Notes"};
constexpr platform::WindowDef kWindow = {"Qt adapter", 3300, 2100, 0x00E0E0E0, kFocusOrder};

class ToolkitQtTest : public testing::Test {
 protected:
  std::unique_ptr<platform::Window> window_ = platform::CreateWindow(kWindow, kControls);
  QWidget& form_ = platform::WidgetOf(*window_);
};

TEST_F(ToolkitQtTest, TextBoxesKeepZeroCharacters) {
  const std::string withZero("before\0after", 12);
  for (const char* name : {"Edit", "Notes"}) {
    window_->TextBoxNamed(name).SetText(withZero);
    EXPECT_EQ(window_->TextBoxNamed(name).Text(), withZero) << name;
  }
}

TEST_F(ToolkitQtTest, TheMultiLineBoxScrollsShowsItsColourAndEndsTypedLinesWithCrLf) {
  platform::TextBox& notes = window_->TextBoxNamed("Notes");
  notes.SetText("set\nby the program");
  driver::Later(0, [&] {
    auto* edit = form_.findChild<QPlainTextEdit*>("Notes");
    EXPECT_TRUE(edit->verticalScrollBar()->isVisible());
    const QImage picture = edit->viewport()->grab().toImage();
    EXPECT_EQ(picture.pixelColor(picture.width() - 3, picture.height() - 3), QColor(0x99, 0x66, 0x33));

    QTest::mouseClick(edit->viewport(), Qt::LeftButton);
    QTest::keyClick(edit, Qt::Key_End, Qt::ControlModifier);
    QTest::keyClick(edit, Qt::Key_Return);
    QTest::keyClicks(edit, "typed");
    driver::Close(*window_);
  });
  window_->Run();
  EXPECT_EQ(notes.Text(), "set\r\nby the program\r\ntyped");
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
