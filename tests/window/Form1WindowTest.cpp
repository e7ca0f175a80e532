// Form1 as the Qt toolkit shows it: every control of the table with its text, place, colours
// and font, the controls each of the program's two heights shows, the focus order, what lies
// in front where controls overlap, the keys an edit box takes, the names a screen reader gives
// the controls, the text an edit box shapes, and captions that fit their boxes in the fonts
// present. Expected values are written out here, never taken from the window's own table.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QFontInfo>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/Toolkit.h"
#include "platform/ToolkitQt.h"
#include "tests/platform/Driver.h"
#include "window/Form1Layout.h"

namespace {

using platform::ControlDef;
using platform::ControlKind;
using Names = std::set<std::string>;
using Texts = std::vector<std::string>;

const QColor kLabelGrey(0xC0, 0xC0, 0xC0);
const QColor kWindowGrey(0xE0, 0xE0, 0xE0);

// A label's look: colours as 0x00BBGGRR (kOwn: the window's text colour), centred text.
constexpr std::uint32_t kOwn = 0xFFFFFFFF;
struct Look {
  std::uint32_t background = kOwn, foreground = kOwn;
  bool centred = false;
};
// One row of the control table: the Qt class that shows the control, its text, its box in
// twips, its font's size in points.
struct Row {
  const char* name;
  const char* kind;
  const char* text;
  int left, top, width, height;
  Look look = {};
  double points = 8.25;
  bool enabled = true;
};

// One row a control, as the table reads
// clang-format off
const Row kTable[] = {
    {"Label1", "QLabel", "Last name logged in is:", 120, 120, 1695, 255, {0x00E0E0E0}},
    {"Label2", "QLabel", "", 1800, 120, 2775, 255, {0x00C0C0C0, kOwn, true}},
    {"Shape1", "QWidget", "", 1800, 120, 2775, 255},
    {"Command1", "QPushButton", "Refresh Name", 4680, 120, 975, 615},
    {"Label3", "QLabel",
     "Login to messenger with your name and click the button to change the above name if it needs changed.",
     120, 360, 4455, 495, {0x00E0E0E0, 0x000000C0, true}},
    {"Line1", "QWidget", "", 120, 840, 5520, 0},
    {"List1", "QListWidget", "", 120, 960, 5535, 1035},
    {"Command2", "QPushButton", "Get Existing Status's", 120, 2040, 1815, 315},
    {"Command5", "QPushButton", "Create", 2040, 2040, 975, 315, {}, 8.25, false},
    {"Command3", "QPushButton", "Delete Status", 3120, 2040, 1215, 315},
    {"Command4", "QPushButton", "Modify Status", 4440, 2040, 1215, 315},
    {"Text7", "QLineEdit", "", 120, 2520, 5535, 285},
    {"Text8", "QLineEdit", "", 120, 2760, 5535, 285},
    {"Text9", "QLineEdit", "", 120, 3000, 5535, 285},
    {"Text10", "QLineEdit", "", 120, 3240, 5535, 285},
    {"Text11", "QLineEdit", "", 120, 3480, 5535, 285},
    {"Label4", "QLabel",
     "Make the necessary changes and then click Submit.",
     0, 3840, 4695, 495, {0x00E0E0E0, 0x000000C0, true}, 9.75},
    {"Command6", "QPushButton", "Submit", 4800, 3840, 855, 315},
};
// clang-format on

// The boxes the user never sees: the window holds their texts, and no widget shows them.
const char* const kHeldBoxes[] = {"Text6", "Alert", "Text1", "Text2", "Text3", "Text4", "Text5"};

std::uint32_t BgrOf(const QColor& colour) {
  return static_cast<std::uint32_t>(colour.red() | colour.green() << 8 | colour.blue() << 16);
}

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

  std::string why_;  // why the window could not be made, if it could not
  std::unique_ptr<platform::Window> window_ = platform::CreateWindow(window::kForm1, window::Form1Controls(), &why_);
  QWidget& form_ = platform::WidgetOf(*window_);
};

// Every control as it is created: 15 twips make a pixel, and a level line is one pixel thick.
TEST_F(Form1WindowTest, EveryControlHasItsTextPlaceLookAndState) {
  const std::uint32_t windowText = BgrOf(form_.palette().color(QPalette::WindowText));
  for (const Row& row : kTable) {
    SCOPED_TRACE(row.name);
    auto* widget = form_.findChild<QWidget*>(row.name, Qt::FindDirectChildrenOnly);
    ASSERT_NE(widget, nullptr);
    EXPECT_TRUE(widget->inherits(row.kind)) << widget->metaObject()->className();
    EXPECT_EQ(widget->property("text").toString().toStdString(), row.text);  // none for a list
    EXPECT_EQ(widget->geometry(), QRect(row.left / 15, row.top / 15, row.width / 15, std::max(row.height / 15, 1)));
    EXPECT_EQ(widget->isEnabled(), row.enabled);
    EXPECT_EQ(widget->font().family(), "MS Sans Serif");
    EXPECT_EQ(widget->font().pointSizeF(), row.points);
    EXPECT_EQ(widget->font().weight(), 400);
    if (auto* label = qobject_cast<QLabel*>(widget)) {
      const auto colour = [&](std::uint32_t bgr) { return bgr == kOwn ? windowText : bgr; };
      EXPECT_EQ(BgrOf(label->palette().color(QPalette::Window)), colour(row.look.background));
      EXPECT_EQ(BgrOf(label->palette().color(QPalette::WindowText)), colour(row.look.foreground));
      EXPECT_EQ(label->alignment() & Qt::AlignHorizontal_Mask, row.look.centred ? Qt::AlignHCenter : Qt::AlignLeft);
      EXPECT_TRUE(label->wordWrap());
    }
  }
  for (const char* box : kHeldBoxes) {
    EXPECT_EQ(form_.findChild<QWidget*>(box), nullptr) << box;
    EXPECT_EQ(window_->TextBoxNamed(box)->Text(), "") << box;
  }
  auto* timer = form_.findChild<QTimer*>("Timer1");
  ASSERT_NE(timer, nullptr);
  EXPECT_TRUE(timer->isActive());
}

// Tab goes round the controls in this order, from Command1, where the focus starts.
TEST_F(Form1WindowTest, TheFocusGoesRoundInTheWindowsOrder) {
  window_->SetOuterHeight(4575);
  window_->ButtonNamed("Command5")->SetEnabled(true);
  Texts focused;
  driver::WhileShown(*window_, [&] {
    focused.push_back(driver::FocusedControl(*window_));
    for (int i = 0; i < 12; ++i) {
      driver::PressTab(*window_);
      focused.push_back(driver::FocusedControl(*window_));
    }
  });
  EXPECT_EQ(focused, (Texts{"Command1", "Command2", "Command3", "Command4", "Command5", "Command6", "Text7", "Text8",
                            "Text9", "Text10", "Text11", "List1", "Command1"}));
}

// Each height shows its controls, in a fixed frame without a maximise button.
TEST_F(Form1WindowTest, EachHeightShowsItsControlsInAFixedFrame) {
  const Qt::WindowFlags flags = form_.windowFlags();
  EXPECT_FALSE(flags.testFlag(Qt::WindowMaximizeButtonHint));
  EXPECT_TRUE(flags.testFlag(Qt::WindowMinimizeButtonHint));
  EXPECT_EQ(form_.windowTitle().toStdString(), "Vantor - Tolvane");
  const Names compact = {"Label1", "Label2",   "Shape1",   "Command1", "Label3",  "Line1",
                         "List1",  "Command2", "Command5", "Command3", "Command4"};
  Names expanded = compact;
  expanded.insert({"Text7", "Text8", "Text9", "Text10", "Text11", "Label4", "Command6"});

  // Client heights 2425 and 4200 twips: the outer heights less the frame the layout was made for.
  window_->SetOuterHeight(2800);
  EXPECT_EQ(form_.size(), QSize(385, 162));
  EXPECT_EQ(ControlsInsideTheClientArea(), compact);
  EXPECT_EQ(form_.minimumSize(), form_.maximumSize());
  for (const char* button : {"Command2", "Command5", "Command3", "Command4"})
    EXPECT_EQ(GapBelow(button), 5) << button << ": 70 twips to the edge";

  window_->SetOuterHeight(4575);
  EXPECT_EQ(form_.size(), QSize(385, 280));
  EXPECT_EQ(ControlsInsideTheClientArea(), expanded);
  EXPECT_EQ(form_.minimumSize(), form_.maximumSize());
  EXPECT_EQ(GapBelow("Command6"), 3) << "45 twips to the edge";
}

TEST_F(Form1WindowTest, LaterControlsLieInFrontOfEarlierOnes) {
  window_->SetOuterHeight(4575);
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

// Keys typed into an edit box, a step at a time with the text each leaves and the changes it
// raised: plain keys (a letter, Shift, Backspace) take a shorter way through the box than
// the rest, so the steps mix them with Qt's shortcuts and a selection typed over.
TEST_F(Form1WindowTest, AnEditBoxTypesPlainKeysAndKeepsItsShortcuts) {
  auto* edit = form_.findChild<QLineEdit*>("Text7");
  ASSERT_NE(edit, nullptr);
  int changes = 0;
  QObject::connect(edit, &QLineEdit::textChanged, [&] { ++changes; });
  // A key as QTest sends it: a character (the text it types) or a key that types none.
  struct Step {
    char typed;
    Qt::Key key;
    Qt::KeyboardModifiers modifiers;
    const char* text;
    int changes;
  };
  const Step steps[] = {
      {'a', {}, Qt::NoModifier, "a", 1},
      {'B', {}, Qt::ShiftModifier, "aB", 1},
      {' ', {}, Qt::NoModifier, "aB ", 1},
      {0, Qt::Key_Backspace, Qt::NoModifier, "aB", 1},
      {0, Qt::Key_Home, Qt::ShiftModifier, "aB", 0},  // selects "aB"
      {'c', {}, Qt::NoModifier, "c", 1},              // typed over the selection
      {'z', {}, Qt::ControlModifier, "aB", 1},        // undo
      {'a', {}, Qt::ControlModifier, "aB", 0},        // select all
      {0, Qt::Key_Backspace, Qt::NoModifier, "", 1},  // the selection erased
      {'d', {}, Qt::AltModifier, "d", 1},             // no shortcut: Qt types it
      {' ', {}, Qt::NoModifier, "d ", 1},
      {'e', {}, Qt::NoModifier, "d e", 1},
      {'f', {}, Qt::NoModifier, "d ef", 1},
      {0, Qt::Key_Backspace, Qt::ControlModifier, "d ", 1},  // the word before the cursor
      {0, Qt::Key_Backspace, Qt::NoModifier, "d", 1},
      {0, Qt::Key_Backspace, Qt::NoModifier, "", 1},
      {0, Qt::Key_Backspace, Qt::NoModifier, "", 0},
  };
  for (const Step& step : steps) {
    const int key = step.typed ? QChar(step.typed).toUpper().unicode() : int{step.key};
    SCOPED_TRACE(QKeySequence(key | step.modifiers).toString().toStdString());
    changes = 0;
    if (step.typed)
      QTest::keyClick(edit, step.typed, step.modifiers);
    else
      QTest::keyClick(edit, step.key, step.modifiers);
    EXPECT_EQ(edit->text().toStdString(), step.text);
    EXPECT_EQ(changes, step.changes);
  }
  edit->setText("ef");
  edit->setReadOnly(true);
  changes = 0;
  QTest::keyClick(edit, 'g');
  QTest::keyClick(edit, Qt::Key_Backspace);
  EXPECT_EQ(edit->text().toStdString(), "ef");
  EXPECT_EQ(changes, 0);
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

// An edit box lays out text that the hive's code page holds glyph by glyph, as Windows' edit
// control draws it, and shapes any other text: kerned pairs show which way it laid out.
TEST_F(Form1WindowTest, AnEditBoxShapesOnlyTextTheHiveCantHold) {
  auto* edit = form_.findChild<QLineEdit*>("Text7");
  ASSERT_NE(edit, nullptr);
  const QString kerned = QStringLiteral("AVATAR Yo");
  QFont shapedFont = edit->font();
  shapedFont.setStyleStrategy(QFont::PreferDefault);
  const qreal shaped = QFontMetricsF(shapedFont).horizontalAdvance(kerned);
  qreal glyphByGlyph = 0;
  for (const QChar c : kerned) glyphByGlyph += QFontMetricsF(shapedFont).horizontalAdvance(c);
  // Without kerning in the face found, the layouts can't tell shaping from none.
  if (shaped == glyphByGlyph)
    GTEST_SKIP() << QFontInfo(shapedFont).family().toStdString() << " kerns none of these pairs";
  struct Step {
    const char* utf8;
    bool typed;  // typed at the end of the text, or else set as a whole
    qreal width;
  };
  const Step steps[] = {
      {"AVATAR Yo", false, glyphByGlyph},
      {"\u20AC \u2026 \u00E9", true, glyphByGlyph},  // the code page's euro sign, ellipsis, e acute
      {"\u03A9", true, shaped},                      // Greek omega: not in the code page
      {"\u0633\u0644\u0627\u0645", false, shaped},   // Arabic, whose letters join
      {"AVATAR Yo", false, glyphByGlyph},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.utf8);
    if (step.typed) {
      for (const QChar c : QString::fromUtf8(step.utf8))
        QTest::sendKeyEvent(QTest::Click, edit, Qt::Key(c.toUpper().unicode()), QString(c), Qt::NoModifier);
    } else {
      edit->setText(QString::fromUtf8(step.utf8));
    }
    EXPECT_EQ(QFontMetricsF(edit->font()).horizontalAdvance(kerned), step.width);
  }
}

// The layout was drawn for MS Sans Serif; a stand-in with other metrics cuts captions off.
TEST_F(Form1WindowTest, CaptionsFitTheirControlsInTheFontsPresent) {
  constexpr int kBevel = 3;
  window_->SetOuterHeight(4575);
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
}

}  // namespace
