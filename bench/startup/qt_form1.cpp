// The floor of the start-up benchmark: Vantor's window as it first shows (the compact height,
// the last user's name in place, no message listed yet), written straight in Qt. The same
// widgets at the same places, with the same texts, font and colours; no registry, no control
// table, no toolkit contract.
#include <QApplication>
#include <QFrame>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>

namespace {

const QColor kWindowGrey(0xE0, 0xE0, 0xE0);
const QColor kLabelGrey(0xC0, 0xC0, 0xC0);
const QColor kDarkRed(0xC0, 0x00, 0x00);

void Colour(QWidget& widget, QPalette::ColorRole role, const QColor& colour) {
  QPalette palette = widget.palette();
  palette.setColor(role, colour);
  widget.setPalette(palette);
}

QLabel* AddLabel(QWidget& window, const char* text, const QRect& place, const QColor& background,
                 Qt::Alignment alignment) {
  auto* label = new QLabel(text, &window);
  label->setGeometry(place);
  label->setWordWrap(true);
  label->setAlignment(Qt::AlignTop | alignment);
  label->setAutoFillBackground(true);
  Colour(*label, QPalette::Window, background);
  return label;
}

void AddButton(QWidget& window, const char* text, const QRect& place, bool enabled = true) {
  auto* button = new QPushButton(text, &window);
  button->setGeometry(place);
  button->setEnabled(enabled);
}

}  // namespace

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  // The faces drawn to the metrics of MS Sans Serif, as Vantor asks for them.
  QFont::insertSubstitutions("MS Sans Serif", {"Microsoft Sans Serif", "Arial", "Liberation Sans", "Arimo"});
  QFont font("MS Sans Serif");
  font.setPointSizeF(8.25);
  QApplication::setFont(font);

  QWidget window;
  window.setWindowTitle("Vantor - Tolvane");
  window.setFixedSize(385, 162);
  window.setAutoFillBackground(true);
  Colour(window, QPalette::Window, kWindowGrey);

  AddLabel(window, "Last name logged in is:", {8, 8, 113, 17}, kWindowGrey, Qt::AlignLeft);
  AddLabel(window, "bench_user", {120, 8, 185, 17}, kLabelGrey, Qt::AlignHCenter);  // startup_bench's user
  auto* outline = new QFrame(&window);
  outline->setFrameShape(QFrame::Box);
  outline->setGeometry(120, 8, 185, 17);
  AddButton(window, "Refresh\nName", {312, 8, 65, 41});  // wrapped, as Vantor's button wraps it
  QLabel* hint = AddLabel(window,
                          "Login to messenger with your name and click the button to change the above "
                          "name if it needs changed.",
                          {8, 24, 297, 33}, kWindowGrey, Qt::AlignHCenter);
  Colour(*hint, QPalette::WindowText, kDarkRed);
  auto* line = new QFrame(&window);
  line->setFrameShape(QFrame::HLine);
  line->setGeometry(8, 56, 368, 1);
  (new QListWidget(&window))->setGeometry(8, 64, 369, 69);
  AddButton(window, "Get Existing Status's", {8, 136, 121, 21});
  AddButton(window, "Create", {136, 136, 65, 21}, false);
  AddButton(window, "Delete Status", {208, 136, 81, 21});
  AddButton(window, "Modify Status", {296, 136, 81, 21});

  window.move(window.screen()->availableGeometry().center() - window.rect().center());
  window.show();
  return QApplication::exec();
}
