// The toolkit on Qt 6 Widgets: one child widget per control of the table, placed at its
// twips divided by 15 (a pixel at 96 dpi; Qt's high-dpi scaling does the rest).
#include <QApplication>
#include <QCompleter>
#include <QInputDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QStyleOptionButton>
#include <QStylePainter>
#include <QTimer>
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <map>
#include <vector>

#include "base/CodePage1252.h"
#include "base/Utf8.h"
#include "platform/NamedControls.h"
#include "platform/Toolkit.h"
#include "platform/ToolkitQt.h"

namespace platform {
namespace {

constexpr double kTwipsPerPixel = 15;
// Windows raises shorter timer periods to 10 ms (USER_TIMER_MINIMUM); so does this adapter,
// which keeps a 1 ms timer from spinning the event loop and both toolkits ticking alike.
constexpr int kShortestTimerMs = 10;

QColor ToQColor(Colour colour) {
  return QColor(static_cast<int>(colour & 0xFF), static_cast<int>((colour >> 8) & 0xFF),
                static_cast<int>((colour >> 16) & 0xFF));
}

static_assert(std::endian::native == std::endian::little, "a QString's units as UTF-16LE bytes");

// Through the program's own codec (Utf8.h), whose UTF-16 is a QString's: Qt's own would
// make a lone surrogate U+FFFD, and a text read from the registry must go back unchanged.
// Sizes keep the text's zero characters.
QString ToQString(const std::string& text) {
  const std::string utf16 = base::Utf8ToUtf16Le(text);
  QString qtext(static_cast<qsizetype>(utf16.size() / 2), Qt::Uninitialized);
  std::memcpy(qtext.data(), utf16.data(), utf16.size());
  return qtext;
}

std::string ToStdString(const QString& text) {
  return base::Utf16LeToUtf8({reinterpret_cast<const char*>(text.utf16()), 2 * static_cast<std::size_t>(text.size())});
}

// The faces drawn to the metrics of MS Sans Serif, which Linux systems seldom have; without
// them the default sans face is too wide for the layout and the captions get cut off.
void SubstituteWindowsFaces() {
  QFont::insertSubstitutions(QStringLiteral("MS Sans Serif"),
                             {QStringLiteral("Microsoft Sans Serif"), QStringLiteral("Arial"),
                              QStringLiteral("Liberation Sans"), QStringLiteral("Arimo")});
}

QFont ToQFont(const Font& font) {
  QFont qfont(QString::fromUtf8(font.face));
  qfont.setPointSizeF(font.points);
  qfont.setWeight(static_cast<QFont::Weight>(font.weight));
  return qfont;
}

void ApplyColours(QWidget& widget, const ControlDef& control) {
  QPalette palette = widget.palette();
  if (control.background != kDefaultColour) {
    for (const auto role : {QPalette::Window, QPalette::Base, QPalette::Button}) {
      palette.setColor(role, ToQColor(control.background));
    }
  }
  if (control.foreground != kDefaultColour) {
    for (const auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText}) {
      palette.setColor(role, ToQColor(control.foreground));
    }
  }
  widget.setPalette(palette);
}

// A shape in the text colour: a rectangle's outline only, so that what lies below shows
// inside; or a line from the top-left to the bottom-right corner of its box, where a box
// without height or width (a level or upright line) makes it one pixel thick.
class DrawingWidget final : public QWidget {
 public:
  DrawingWidget(ControlKind kind, QWidget* parent) : QWidget(parent), kind_(kind) {}

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    painter.setPen(palette().color(QPalette::WindowText));
    if (kind_ == ControlKind::Rectangle) {
      painter.drawRect(rect().adjusted(0, 0, -1, -1));
    } else {
      painter.drawLine(0, 0, width() - 1, height() - 1);
    }
  }

 private:
  ControlKind kind_;
};

// A push button whose caption wraps onto more lines where one is too narrow, as Windows'
// multi-line buttons do: the style draws the button without its text, then the text.
class WrappingButton final : public QPushButton {
 public:
  using QPushButton::QPushButton;

 protected:
  void paintEvent(QPaintEvent*) override {
    QStylePainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    const QString caption = option.text;
    option.text.clear();
    painter.drawControl(QStyle::CE_PushButton, option);
    const QRect room = style()->subElementRect(QStyle::SE_PushButtonContents, &option, this);
    painter.drawItemText(room, Qt::AlignCenter | Qt::TextWordWrap | Qt::TextShowMnemonic, palette(), isEnabled(),
                         caption, QPalette::ButtonText);
  }
};

// A line edit that types plain keys straight in. For every key, QLineEdit walks the table of
// standard shortcuts twice (once for the shortcut override, once for the press), which is
// about half of what a keystroke costs; no standard shortcut is a printable character or
// Backspace without Ctrl, Alt or Meta, so for these keys the walks end where this goes at
// once: the text inserted at the cursor (replacing the selection), or Backspace, and the
// key accepted. Every other key, and any edit box that is read-only, hides what it types or
// completes, goes to QLineEdit as before. The box also lays out without shaping the text
// that needs none (ShapeOnlyWhatNeedsIt), most of what its layout cost at every keystroke.
class TypingLineEdit final : public QLineEdit {
 public:
  TypingLineEdit(const QString& text, QWidget* parent) : QLineEdit(text, parent) {
    connect(this, &QLineEdit::textChanged, this, &TypingLineEdit::ShapeOnlyWhatNeedsIt);
  }

 protected:
  bool event(QEvent* event) override {
    if (event->type() == QEvent::ShortcutOverride && IsPlainTyping(*static_cast<QKeyEvent*>(event))) {
      event->accept();
      return true;
    }
    return QLineEdit::event(event);
  }

  void keyPressEvent(QKeyEvent* key) override {
    if (!IsPlainTyping(*key)) return QLineEdit::keyPressEvent(key);
    if (key->key() == Qt::Key_Backspace)
      backspace();
    else
      insert(key->text());
    key->accept();
  }

 private:
  // Text that the hive's code page holds is laid out glyph by glyph, as Windows' edit control
  // draws it: shaping it, for kerning and ligatures, would more than double the layout that
  // the box redoes at every keystroke. Any other text is shaped, as scripts such as Arabic
  // need to be legible; the box switches when its text does.
  void ShapeOnlyWhatNeedsIt() {
    const QString shown = text();
    const bool heldByTheHive =
        std::all_of(shown.begin(), shown.end(), [](QChar c) { return base::InWindows1252(c.unicode()); });
    const QFont::StyleStrategy wanted = heldByTheHive ? QFont::PreferNoShaping : QFont::PreferDefault;
    if (font().styleStrategy() == wanted) return;
    QFont changed = font();
    changed.setStyleStrategy(wanted);
    setFont(changed);
  }

  bool IsPlainTyping(const QKeyEvent& key) const {
    if (isReadOnly() || echoMode() != Normal || completer()) return false;
    const Qt::KeyboardModifiers modifiers = key.modifiers();
    if (key.key() == Qt::Key_Backspace) return modifiers == Qt::NoModifier;
    if (modifiers != Qt::NoModifier && modifiers != Qt::ShiftModifier) return false;
    const QString text = key.text();
    return key.key() < Qt::Key_Escape && !text.isEmpty() &&
           std::all_of(text.begin(), text.end(), [](QChar c) { return c.isPrint(); });
  }
};

// What the adapters of the input controls share: the widget they switch on and off, and the
// handler of the one event each raises.
template <typename Interface, typename Widget>
class QtInputControl : public Interface {
 public:
  void SetEnabled(bool enabled) override { widget_->setEnabled(enabled); }
  bool IsEnabled() const override { return widget_->isEnabled(); }

 protected:
  explicit QtInputControl(Widget* widget) : widget_(widget) {}

  void Raise() const {
    if (handler_) handler_();
  }

  Widget* widget_;
  Handler handler_;
};

class LineTextBox final : public QtInputControl<TextBox, QLineEdit> {
 public:
  LineTextBox(QLineEdit* edit, QObject* context) : QtInputControl(edit) {
    widget_->setMaxLength(std::numeric_limits<int>::max());
    QObject::connect(widget_, &QLineEdit::textChanged, context, [this] { Raise(); });
  }

  std::string Text() const override { return ToStdString(widget_->text()); }

  void SetText(const std::string& text) override {
    // The same text again is no change: the widget is left alone and raises nothing.
    const QString newText = ToQString(text);
    if (newText != widget_->text()) widget_->setText(newText);
  }

  void OnChange(Handler handler) override { handler_ = std::move(handler); }
};

class QtListBox final : public QtInputControl<ListBox, QListWidget> {
 public:
  QtListBox(QListWidget* list, QObject* context) : QtInputControl(list) {
    widget_->setSelectionMode(QAbstractItemView::SingleSelection);
    QObject::connect(widget_, &QListWidget::itemSelectionChanged, context, [this] {
      // The program's Clear and the user's Ctrl+click take the selection away: no row selected.
      if (!widget_->selectedItems().isEmpty()) Raise();
    });
  }

  void Clear() override { widget_->clear(); }

  void Append(const std::string& row) override { widget_->addItem(ToQString(row)); }

  std::string SelectedText() const override {
    const QList<QListWidgetItem*> selected = widget_->selectedItems();
    return selected.isEmpty() ? std::string() : ToStdString(selected.front()->text());
  }

  void OnClick(Handler handler) override { handler_ = std::move(handler); }
};

class QtButton final : public QtInputControl<Button, QPushButton> {
 public:
  QtButton(QPushButton* button, QObject* context) : QtInputControl(button) {
    QObject::connect(widget_, &QPushButton::clicked, context, [this] { Raise(); });
  }

  void OnClick(Handler handler) override { handler_ = std::move(handler); }
};

class QtLabel final : public Label {
 public:
  explicit QtLabel(QLabel* label) : label_(label) {}

  std::string Caption() const override { return ToStdString(label_->text()); }
  void SetCaption(const std::string& caption) override { label_->setText(ToQString(caption)); }

 private:
  QLabel* label_;
};

class QtTimer final : public Timer {
 public:
  QtTimer(QTimer* timer, int intervalMs, QObject* context) {
    QObject::connect(timer, &QTimer::timeout, context, [this] {
      if (onTick_) onTick_();
    });
    timer->start(std::max(intervalMs, kShortestTimerMs));
  }

  void OnTick(Handler handler) override { onTick_ = std::move(handler); }

 private:
  Handler onTick_;
};

class QtWindow final : public WindowOfNamedControls {
 public:
  QtWindow(const WindowDef& window, std::span<const ControlDef> controls) : WindowOfNamedControls(window) {
    // A fixed single border with a minimise button and no maximise button.
    form_.setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                         Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    form_.setWindowTitle(QString::fromUtf8(window.title));
    form_.setFixedSize(Pixels(window.clientWidth), Pixels(window.clientHeight));
    QPalette palette = form_.palette();
    palette.setColor(QPalette::Window, ToQColor(window.background));
    form_.setPalette(palette);
    form_.setAutoFillBackground(true);
    SubstituteWindowsFaces();
    // The application's font, not only the window's: a line edit lays its text out once in
    // the application's font before it takes its parent's, which would load a second face.
    QApplication::setFont(ToQFont(kWindowFont));
    form_.setFont(ToQFont(kWindowFont));

    // Children stack in the order they are made, so later rows of the table lie in front.
    for (const ControlDef& control : controls) AddControl(control);
    SetFocusOrder(window.focusOrder);
    Centre();  // the load event's dialogs centre on the window before it shows
  }

  bool AskYesNo(const std::string& text, const std::string& title) override {
    QMessageBox box(QMessageBox::Critical, ToQString(title), ToQString(text), QMessageBox::Yes | QMessageBox::No,
                    &form_);
    box.setTextFormat(Qt::PlainText);
    box.setDefaultButton(QMessageBox::Yes);
    // Qt would take Escape and the title bar's close button for No. Leaving the box so is no
    // answer, so it counts as Yes, the answer that changes nothing; Windows' box ignores both.
    box.setEscapeButton(QMessageBox::Yes);
    return box.exec() == QMessageBox::Yes;
  }

  std::string InputBox(const std::string& prompt, const std::string& title) override {
    QInputDialog dialog(&form_);
    dialog.setInputMode(QInputDialog::TextInput);
    dialog.setWindowTitle(ToQString(title));
    dialog.setLabelText(ToQString(prompt));
    return dialog.exec() == QDialog::Accepted ? ToStdString(dialog.textValue()) : std::string();
  }

  QWidget& Widget() { return form_; }

 private:
  int Pixels(int twips) const override { return static_cast<int>(std::lround(twips / kTwipsPerPixel)); }

  // A resize keeps the top-left corner.
  void SetClientHeight(int pixels) override { form_.setFixedHeight(pixels); }

  void Show() override {
    form_.show();
    for (QWidget* control : focusOrder_) {
      if (!control->isEnabled()) continue;
      control->setFocus(Qt::ActiveWindowFocusReason);
      break;
    }
  }

  int RunEvents() override { return QApplication::exec(); }

  // Each row of the table: a child widget in its place, or a held box or timer without one.
  void AddControl(const ControlDef& control) {
    switch (control.kind) {
      case ControlKind::TextHolder:
        return AddTextHolder(control);
      case ControlKind::Timer:
        return AddTimer(control);
      default:
        Place(*AddWidget(control), control);
    }
  }

  // The control's widget, and what the handlers reach it by.
  QWidget* AddWidget(const ControlDef& control) {
    const QString text = QString::fromUtf8(control.text);
    switch (control.kind) {
      case ControlKind::Label: {
        auto* label = NewLabel(text, control.alignment);
        labels_.emplace(control.name, std::make_unique<QtLabel>(label));
        return label;
      }
      case ControlKind::Rectangle:
      case ControlKind::Line:
        return new DrawingWidget(control.kind, &form_);
      case ControlKind::Button: {
        auto* button = new WrappingButton(text, &form_);
        buttons_.emplace(control.name, std::make_unique<QtButton>(button, &handlerContext_));
        return button;
      }
      case ControlKind::ListBox: {
        auto* list = new QListWidget(&form_);
        listBoxes_.emplace(control.name, std::make_unique<QtListBox>(list, &handlerContext_));
        return list;
      }
      case ControlKind::TextBox: {
        auto* edit = new TypingLineEdit(text, &form_);
        textBoxes_.emplace(control.name, std::make_unique<LineTextBox>(edit, &handlerContext_));
        return edit;
      }
      case ControlKind::TextHolder:
      case ControlKind::Timer:
        break;
    }
    qFatal("No widget shows the control %s", control.name);
  }

  QLabel* NewLabel(const QString& text, Alignment alignment) {
    auto* label = new QLabel(text, &form_);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignTop | (alignment == Alignment::Centre ? Qt::AlignHCenter : Qt::AlignLeft));
    label->setAutoFillBackground(true);
    return label;
  }

  void AddTimer(const ControlDef& control) {
    auto* timer = new QTimer(&form_);
    timer->setObjectName(QString::fromUtf8(control.name));
    timers_.emplace(control.name, std::make_unique<QtTimer>(timer, control.intervalMs, &handlerContext_));
  }

  // The widget's name, place, colours, font and state as the row gives them.
  void Place(QWidget& widget, const ControlDef& control) const {
    widget.setObjectName(QString::fromUtf8(control.name));
    widget.setAccessibleName(QString::fromUtf8(control.accessibleName));
    if (control.kind == ControlKind::Rectangle || control.kind == ControlKind::Line) {
      widget.setAttribute(Qt::WA_TransparentForMouseEvents);  // clicks reach what lies below
    }
    const PixelBox box = BoxOf(control);
    widget.setGeometry(box.left, box.top, box.width, box.height);
    ApplyColours(widget, control);
    if (control.font) widget.setFont(ToQFont(*control.font));
    widget.setEnabled(control.enabled);
  }

  // Only the controls of the focus order take the focus, in that order.
  void SetFocusOrder(std::span<const char* const> names) {
    for (const char* name : names) {
      auto* control = form_.findChild<QWidget*>(QString::fromUtf8(name), Qt::FindDirectChildrenOnly);
      if (!control) qFatal("The focus order names %s, which the window lacks", name);
      if (!focusOrder_.empty()) QWidget::setTabOrder(focusOrder_.back(), control);
      focusOrder_.push_back(control);
    }
    for (QWidget* control : form_.findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
      if (std::find(focusOrder_.begin(), focusOrder_.end(), control) == focusOrder_.end()) {
        control->setFocusPolicy(Qt::NoFocus);
      }
    }
  }

  void Centre() override {
    const QRect screen = form_.screen()->availableGeometry();
    form_.move(screen.center() - form_.rect().center());
  }

  // Destroyed in the reverse order: the handler context first, which cuts every connection
  // to a handler, so that no event reaches the program while the widgets are torn down.
  QWidget form_;
  std::vector<QWidget*> focusOrder_;
  QObject handlerContext_;
};

}  // namespace

std::unique_ptr<Window> CreateWindow(const WindowDef& window, std::span<const ControlDef> controls,
                                     std::string* /*why*/) {
  return std::make_unique<QtWindow>(window, controls);
}

// Every Window of a Qt build is a QtWindow.
QWidget& WidgetOf(Window& window) { return static_cast<QtWindow&>(window).Widget(); }

}  // namespace platform
