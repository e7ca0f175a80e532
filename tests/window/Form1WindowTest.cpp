// Form1 as the Qt toolkit shows it: the controls each of the program's two heights shows,
// what lies in front where controls overlap, the names a screen reader gives the controls,
// and captions that fit their boxes in the fonts present.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QFontInfo>
#include <QFontMetrics>
#include <QWidget>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/Toolkit.h"
#include "platform/ToolkitQt.h"
#include "slots/Slots.h"
#include "window/Form1Layout.h"

namespace {

using platform::ControlDef;
using platform::ControlKind;
using Names = std::set<std::string>;

const QColor kLabelGrey(0xC0, 0xC0, 0xC0);
const QColor kWindowGrey(0xE0, 0xE0, 0xE0);

class Form1WindowTest : public testing::Test {
 protected:
  QWidget& Control(const char* name) { return *form_.findChild<QWidget*>(name); }
  int GapBelow(const char* name) { return form_.height() - 1 - Control(name).geometry().bottom(); }

  Names ControlsInsideTheClientArea() const {
    Names inside;
    for (const QWidget* control : form_.findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
      if (form_.rect().intersects(control->geometry())) inside.insert(control->objectName().toStdString());
    return inside;
  }

  std::unique_ptr<platform::Window> window_ = platform::CreateWindow(window::kForm1, window::Form1Controls());
  QWidget& form_ = platform::WidgetOf(*window_);
};

// Each height shows its controls, in a fixed frame without a maximise button.
TEST_F(Form1WindowTest, EachHeightShowsItsControlsInAFixedFrame) {
  const Qt::WindowFlags flags = form_.windowFlags();
  EXPECT_FALSE(flags.testFlag(Qt::WindowMaximizeButtonHint));
  EXPECT_TRUE(flags.testFlag(Qt::WindowMinimizeButtonHint));
  EXPECT_EQ(form_.windowTitle().toStdString(), window::kForm1.title);
  const Names compact = {"Label1", "Label2", "Shape1", "Command1", "Label3", "Line1",
                         "List1",  "Command2", "Command5", "Command3", "Command4"};
  Names expanded = compact;
  expanded.insert({"Text7", "Text8", "Text9", "Text10", "Text11", "Label4", "Command6"});

  // Client heights 2425 and 4200 twips: the outer heights less the frame the layout was made for.
  window_->SetOuterHeight(status_slots::kCompactHeight);
  EXPECT_EQ(form_.size(), QSize(385, 162));
  EXPECT_EQ(ControlsInsideTheClientArea(), compact);
  EXPECT_EQ(form_.minimumSize(), form_.maximumSize());
  for (const char* button : {"Command2", "Command5", "Command3", "Command4"})
    EXPECT_EQ(GapBelow(button), 5) << button << ": 70 twips to the edge";

  window_->SetOuterHeight(status_slots::kExpandedHeight);
  EXPECT_EQ(form_.size(), QSize(385, 280));
  EXPECT_EQ(ControlsInsideTheClientArea(), expanded);
  EXPECT_EQ(form_.minimumSize(), form_.maximumSize());
  EXPECT_EQ(GapBelow("Command6"), 3) << "45 twips to the edge";
}

TEST_F(Form1WindowTest, LaterControlsLieInFrontOfEarlierOnes) {
  window_->SetOuterHeight(status_slots::kExpandedHeight);
  form_.show();
  const QImage picture = form_.grab().toImage();
  const QColor windowText = form_.palette().color(QPalette::WindowText);
  const QRect shape = Control("Shape1").geometry();

  EXPECT_EQ(picture.pixelColor(2, 2), kWindowGrey);
  // Shape1's outline over Label2, whose grey fills the box inside it. Label3, later in the
  // table, covers the lowest row of both.
  EXPECT_EQ(picture.pixelColor(shape.topLeft()), windowText);
  EXPECT_EQ(picture.pixelColor(shape.topRight()), windowText);
  EXPECT_EQ(picture.pixelColor(shape.topLeft() + QPoint(1, 1)), kLabelGrey);
  EXPECT_EQ(picture.pixelColor(shape.topRight() + QPoint(-1, 1)), kLabelGrey);
  EXPECT_EQ(picture.pixelColor(shape.bottomLeft()), kWindowGrey);
  // Line1 across the foot of Label3, one pixel thick.
  const QRect line = Control("Line1").geometry();
  EXPECT_EQ(picture.pixelColor(line.left() + 2, line.top()), windowText);
  EXPECT_EQ(picture.pixelColor(line.left() + 2, line.top() - 1), kWindowGrey);
  // Each edit box over the one above it, where they overlap.
  const char* const boxes[] = {"Text7", "Text8", "Text9", "Text10", "Text11"};
  for (std::size_t lower = 1; lower < std::size(boxes); ++lower) {
    const QRect overlap = Control(boxes[lower - 1]).geometry() & Control(boxes[lower]).geometry();
    ASSERT_FALSE(overlap.isEmpty()) << boxes[lower];
    EXPECT_EQ(form_.childAt(overlap.center()), &Control(boxes[lower])) << boxes[lower];
  }
}

// The list and the edit boxes show no text that would name them to a screen reader.
TEST_F(Form1WindowTest, AScreenReaderTellsTheListAndTheEditBoxesApart) {
  std::map<QAccessible::Role, std::vector<std::string>> names;
  QAccessibleInterface* form = QAccessible::queryAccessibleInterface(&form_);
  for (int i = 0; i < form->childCount(); ++i)
    names[form->child(i)->role()].push_back(form->child(i)->text(QAccessible::Name).toStdString());
  EXPECT_EQ(names[QAccessible::List], std::vector<std::string>{"Messages"});
  EXPECT_EQ(names[QAccessible::EditableText],
            (std::vector<std::string>{"Message 1", "Message 2", "Message 3", "Message 4", "Message 5"}));
}

// The layout was drawn for MS Sans Serif; a stand-in with other metrics cuts captions off.
TEST_F(Form1WindowTest, CaptionsFitTheirControlsInTheFontsPresent) {
  constexpr int kBevel = 3;
  window_->SetOuterHeight(status_slots::kExpandedHeight);
  form_.show();
  for (const ControlDef& control : window::Form1Controls()) {
    if (control.kind != ControlKind::Label && control.kind != ControlKind::Button) continue;
    QWidget& widget = Control(control.name);
    const QFontMetrics metrics(widget.font());
    if (control.kind == ControlKind::Label) {
      const QRect room(0, 0, widget.width(), 1000);
      const QRect needed = metrics.boundingRect(room, Qt::TextWordWrap, control.text);
      EXPECT_LE(needed.height(), widget.height())
          << control.name << " in " << QFontInfo(widget.font()).family().toStdString();
    } else {
      // No ink at the sides of the button's face: the caption fits, on more lines if need be.
      const QImage face = widget.grab().toImage();
      for (const int x : {kBevel, face.width() - 1 - kBevel})
        for (int y = kBevel; y < face.height() - kBevel; ++y)
          EXPECT_GT(face.pixelColor(x, y).lightness(), 160) << control.name << " at " << x << "," << y;
    }
  }
  const QFontInfo hint(Control("Label4").font());
  EXPECT_EQ(hint.pointSizeF(), 9.75);
  EXPECT_EQ(hint.weight(), 400);
}

}  // namespace
