#include "qt/QtDialogHost.h"

#include "qt/QtDialogUnits.h"
#include "qt/QtGroupBox.h"
#include "res/Bitmaps.h"

#include <QCheckBox>
#include <QCursor>
#include <QFrame>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QRegularExpression>
#include <QRegularExpressionValidator>
#include <QScreen>
#include <QWindow>

#include <algorithm>
#include <span>

namespace {

QString toQString(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

Qt::WindowFlags flagsFor(DialogFrame frame) {
    if (frame == DialogFrame::ThinBorder) {
        return Qt::Dialog | Qt::FramelessWindowHint;
    }
    return Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
           Qt::WindowCloseButtonHint;
}

// Keeps a rectangle of the given size centred on centre, moved inside bounds as far as it
// fits.
QPoint centredTopLeft(QPoint centre, QSize size, const QRect& bounds) {
    const int left = std::clamp(centre.x() - size.width() / 2, bounds.left(),
                                std::max(bounds.left(), bounds.right() + 1 - size.width()));
    const int top = std::clamp(centre.y() - size.height() / 2, bounds.top(),
                               std::max(bounds.top(), bounds.bottom() + 1 - size.height()));
    return {left, top};
}

QWidget* createEdit(const DialogControl& control, QWidget* parent) {
    auto* edit = new QLineEdit(toQString(control.text), parent);
    if ((control.style & dialogStyleDigitsOnly) != 0) {
        edit->setValidator(
            new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), edit));
    }
    if ((control.style & dialogStyleRightAligned) != 0) {
        edit->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    }
    if ((control.style & dialogStylePassword) != 0) {
        edit->setEchoMode(QLineEdit::Password);
    }
    return edit;
}

QWidget* createLabel(const DialogControl& control, QWidget* parent) {
    auto* label = new QLabel(toQString(control.text), parent);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    const Qt::Alignment across =
        (control.style & dialogStyleCentered) != 0 ? Qt::AlignHCenter : Qt::AlignLeft;
    label->setAlignment(across | Qt::AlignTop);
    return label;
}

QWidget* createPicture(const DialogControl& control, QWidget* parent) {
    auto* picture = new QLabel(parent);
    const std::span<const char* const> xpm = findBitmapXpm(control.imageId);
    if (!xpm.empty()) {
        picture->setPixmap(QPixmap(xpm.data()));
    }
    if ((control.style & dialogStyleSunken) != 0) {
        picture->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        picture->setLineWidth(1);
    }
    picture->setAlignment(Qt::AlignCenter);
    return picture;
}

// The label of a field: the nearest label left of it on its row, else the one right above
// it; "Username:" names it "Username".
QString labelOf(const DialogControl& field, std::span<const DialogControl> controls) {
    const DialogControl* best = nullptr;
    int bestScore = 0;
    for (const DialogControl& label : controls) {
        if (label.kind != DialogControlKind::Label) {
            continue;
        }
        const bool sameRow = label.y < field.y + field.height && field.y < label.y + label.height &&
                             label.x + label.width <= field.x + 2;
        const bool above = label.y + label.height <= field.y + 1 &&
                           field.y - (label.y + label.height) <= 6 &&
                           label.x < field.x + field.width && field.x < label.x + label.width;
        // Nearer is better; a label on the row beats one above.
        const int score = sameRow ? 1000 + label.x + label.width : above ? label.y : -1;
        if (score > bestScore) {
            best = &label;
            bestScore = score;
        }
    }
    QString name = best != nullptr ? toQString(best->text).remove('&').trimmed() : QString();
    if (name.endsWith(':')) {
        name.chop(1);
    }
    return name;
}

} // namespace

QtDialogHost::QtDialogHost(const DialogTemplate& dialogTemplate, DialogProcedure procedure,
                           QWidget* parent)
    : QDialog(parent, flagsFor(dialogTemplate.frame))
    , template_(dialogTemplate)
    , procedure_(std::move(procedure)) {
    setWindowTitle(toQString(template_.title));
    setFont(QFont(toQString(template_.fontFace), template_.fontPointSize));
    buildControls();
}

void QtDialogHost::buildControls() {
    const QtDialogUnits units(font());
    setFixedSize(units.toPixelsX(template_.width), units.toPixelsY(template_.height));

    QWidget* previousStop = nullptr;
    for (const DialogControl& control : template_.controls) {
        QWidget* widget = createControl(control);
        nameForAssistiveTools(control, widget);
        const QRect area = units.toPixels(control.x, control.y, control.width, control.height);
        if (control.kind == DialogControlKind::Picture) {
            // A picture sizes itself to its image, frame included, from its top-left corner.
            widget->setGeometry(QRect(area.topLeft(), widget->sizeHint()));
        } else {
            widget->setGeometry(area);
        }
        controls_.push_back(widget);
        if (control.id != dialogStaticId) {
            items_.emplace(control.id, widget);
        }
        if (widget->focusPolicy() & Qt::TabFocus) {
            if (previousStop != nullptr) {
                setTabOrder(previousStop, widget);
            }
            previousStop = widget;
        }
    }
    // Group boxes and the border are drawn below the other controls and let clicks through
    // to them.
    for (QWidget* widget : controls_) {
        if (qobject_cast<QGroupBox*>(widget) != nullptr) {
            widget->lower();
        }
    }
    if (template_.frame == DialogFrame::ThinBorder) {
        auto* border = new QFrame(this);
        border->setFrameStyle(QFrame::Box | QFrame::Plain);
        border->setLineWidth(1);
        border->setGeometry(rect());
        border->setAttribute(Qt::WA_TransparentForMouseEvents);
        border->lower();
    }
}

void QtDialogHost::nameForAssistiveTools(const DialogControl& control, QWidget* widget) {
    if (control.kind == DialogControlKind::Label && windowTitle().isEmpty() &&
        accessibleName().isEmpty()) {
        setAccessibleName(toQString(control.text));
    } else if (control.kind == DialogControlKind::Edit) {
        widget->setAccessibleName(labelOf(control, template_.controls));
    } else if (control.text.empty() && (control.id == dialogOk || control.id == dialogCancel)) {
        widget->setAccessibleName(control.id == dialogOk ? "OK" : "Cancel");
    }
}

QWidget* QtDialogHost::createControl(const DialogControl& control) {
    QWidget* widget = createWidget(control);
    if (!control.tip.empty()) {
        widget->setToolTip(toQString(control.tip));
    }
    return widget;
}

QWidget* QtDialogHost::createWidget(const DialogControl& control) {
    const QString text = toQString(control.text);
    const int id = control.id;
    switch (control.kind) {
    case DialogControlKind::PushButton:
    case DialogControlKind::DefaultPushButton: {
        auto* button = new QPushButton(text, this);
        button->setAutoDefault(true);
        const bool firstDefault = control.kind == DialogControlKind::DefaultPushButton &&
                                  std::none_of(controls_.begin(), controls_.end(), [](QWidget* w) {
                                      auto* b = qobject_cast<QPushButton*>(w);
                                      return b != nullptr && b->isDefault();
                                  });
        button->setDefault(firstDefault);
        connect(button, &QPushButton::clicked, this, [this, id] { sendCommand(id); });
        return button;
    }
    case DialogControlKind::CheckBox: {
        auto* checkBox = new QCheckBox(text, this);
        connect(checkBox, &QCheckBox::clicked, this, [this, id] { sendCommand(id); });
        return checkBox;
    }
    case DialogControlKind::Edit:
        return createEdit(control, this);
    case DialogControlKind::Label:
        return createLabel(control, this);
    case DialogControlKind::GroupBox: {
        auto* group = new QtGroupBox(text, this);
        group->setFocusPolicy(Qt::NoFocus);
        group->setAttribute(Qt::WA_TransparentForMouseEvents);
        return group;
    }
    case DialogControlKind::Picture:
        return createPicture(control, this);
    }
    return new QWidget(this);
}

int QtDialogHost::run() {
    const bool focusInitialItem = procedure_(*this, DialogMessage::Init, 0);
    if (ended_) {
        return result_;
    }
    if (QWidget* initial = item(template_.initialFocusId); focusInitialItem && initial != nullptr) {
        initial->setFocus();
    }
    place();
    exec();
    return ended_ ? result_ : dialogCancel;
}

void QtDialogHost::place() {
    const QPoint pointer = QCursor::pos();
    QScreen* screen = QGuiApplication::screenAt(pointer);
    if (screen == nullptr) {
        screen = QGuiApplication::primaryScreen();
    }
    if (screen == nullptr) {
        return;
    }
    const QRect bounds = screen->availableGeometry();
    const QPoint centre =
        template_.placement == DialogPlacement::CenteredOnMouse ? pointer : bounds.center();
    // The whole window, frame included, is centred, as the window system centres dialogs,
    // and kept inside the screen. A place given before the platform window exists is taken
    // as the frame's; a window system that knows the frame's size before the window is on
    // the screen tells it once the platform window exists, and the place is corrected for
    // it (X11 knows it only later, so there the dialog's inside is centred).
    move(centredTopLeft(centre, size(), bounds));
    create();
    const QMargins frame = windowHandle() != nullptr ? windowHandle()->frameMargins() : QMargins();
    if (!frame.isNull()) {
        move(centredTopLeft(centre, size().grownBy(frame), bounds));
    }
}

QWidget* QtDialogHost::item(int itemId) const {
    const auto found = items_.find(itemId);
    return found == items_.end() ? nullptr : found->second;
}

void QtDialogHost::setItemText(int itemId, std::string_view text) {
    QWidget* widget = item(itemId);
    if (widget == nullptr) {
        return;
    }
    const QString shown = toQString(text);
    if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
        edit->setText(shown);
    } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
        button->setText(shown);
    } else if (auto* label = qobject_cast<QLabel*>(widget)) {
        label->setText(shown);
    } else if (auto* group = qobject_cast<QGroupBox*>(widget)) {
        group->setTitle(shown);
    } else {
        return;
    }
    texts_[itemId] = {std::string(text), shown};
}

std::string QtDialogHost::itemText(int itemId) const {
    const QWidget* widget = item(itemId);
    QString shown;
    if (auto* edit = qobject_cast<const QLineEdit*>(widget)) {
        shown = edit->text();
    } else if (auto* button = qobject_cast<const QAbstractButton*>(widget)) {
        shown = button->text();
    } else if (auto* label = qobject_cast<const QLabel*>(widget)) {
        shown = label->text();
    } else if (auto* group = qobject_cast<const QGroupBox*>(widget)) {
        shown = group->title();
    }
    if (const auto set = texts_.find(itemId); set != texts_.end() && set->second.second == shown) {
        return set->second.first;
    }
    return shown.toStdString();
}

void QtDialogHost::setChecked(int itemId, bool checked) {
    if (auto* checkBox = qobject_cast<QCheckBox*>(item(itemId))) {
        checkBox->setChecked(checked);
    }
}

bool QtDialogHost::isChecked(int itemId) const {
    const auto* checkBox = qobject_cast<const QCheckBox*>(item(itemId));
    return checkBox != nullptr && checkBox->isChecked();
}

void QtDialogHost::endDialog(int result) {
    ended_ = true;
    result_ = result;
}

void QtDialogHost::reject() {
    sendCommand(dialogCancel);
}

void QtDialogHost::sendCommand(int commandId) {
    if (ended_) {
        return;
    }
    procedure_(*this, DialogMessage::Command, commandId);
    if (ended_) {
        done(result_);
    }
}

void QtDialogHost::focusItem(int itemId) {
    if (QWidget* widget = item(itemId)) {
        widget->setFocus();
    }
}
