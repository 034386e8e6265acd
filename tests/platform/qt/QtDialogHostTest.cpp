#include "platform/qt/QtDialogHost.h"

#include "app/AboutDialog.h"
#include "platform/qt/QtDialogRunner.h"
#include "res/DialogTemplates.h"

#include <QApplication>
#include <QCursor>
#include <QDeadlineTimer>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace {

// A procedure that records the commands it gets and ends the dialog on OK and Cancel.
struct Recorder {
    std::vector<int> commands;

    DialogProcedure procedure() {
        return [this](DialogHost& dialog, DialogMessage message, int commandId) {
            if (message == DialogMessage::Command) {
                commands.push_back(commandId);
                if (commandId == dialogOk || commandId == dialogCancel) {
                    dialog.endDialog(commandId);
                }
            }
            return message == DialogMessage::Init || commandId <= dialogCancel;
        };
    }
};

// Runs the dialog and calls whileOpen once it is on the screen, from inside its modal loop;
// a dialog still open after 10 s is ended with -99. Returns the dialog's result.
int runDialog(int templateId, const DialogProcedure& procedure,
              std::function<void(QtDialogHost&)> whileOpen) {
    QTimer poll;
    QDeadlineTimer deadline(10000);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* open = dynamic_cast<QtDialogHost*>(QApplication::activeModalWidget());
        if (open != nullptr && deadline.hasExpired()) {
            open->endDialog(-99);
            open->done(-99);
        } else if (open != nullptr && open->isVisible() && whileOpen) {
            poll.setInterval(100);
            std::exchange(whileOpen, nullptr)(*open);
        }
    });
    poll.start(5);
    return QtDialogRunner().runDialog(nullptr, templateId, procedure);
}

void click(QtDialogHost& dialog, int itemId) {
    QTest::mouseClick(dialog.item(itemId), Qt::LeftButton);
}

QString textOf(const QWidget* widget) {
    if (auto* button = qobject_cast<const QAbstractButton*>(widget)) {
        return button->text();
    }
    if (auto* label = qobject_cast<const QLabel*>(widget)) {
        return label->text();
    }
    if (auto* group = qobject_cast<const QGroupBox*>(widget)) {
        return group->title();
    }
    return {};
}

class QtDialogTemplateTest : public testing::TestWithParam<int> {};

// Each control shows its template's text and tip; OK is the one default button; passwords are
// hidden and number fields take digits only; Tab visits the controls in template order.
TEST_P(QtDialogTemplateTest, ControlsAreWhatTheTemplateSays) {
    const DialogTemplate& dialogTemplate = *findDialogTemplate(GetParam());
    Recorder recorder;
    QtDialogHost dialog(dialogTemplate, recorder.procedure());
    ASSERT_EQ(dialog.controls().size(), dialogTemplate.controls.size());
    std::vector<QWidget*> templateOrder;
    for (std::size_t i = 0; i < dialog.controls().size(); ++i) {
        const DialogControl& control = dialogTemplate.controls[i];
        QWidget* widget = dialog.controls()[i];
        SCOPED_TRACE(control.id);
        EXPECT_EQ(widget->toolTip().toStdString(), control.tip);
        if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
            EXPECT_EQ(edit->validator() != nullptr, (control.style & dialogStyleDigitsOnly) != 0);
            EXPECT_EQ(edit->echoMode() == QLineEdit::Password,
                      (control.style & dialogStylePassword) != 0);
        } else if (control.kind != DialogControlKind::Picture) {
            EXPECT_EQ(textOf(widget).toStdString(), control.text);
        }
        if (auto* button = qobject_cast<QPushButton*>(widget)) {
            EXPECT_EQ(button->isDefault(), control.id == dialogOk);
        }
        if ((widget->focusPolicy() & Qt::TabFocus) != 0) {
            templateOrder.push_back(widget);
        }
    }
    std::vector<QWidget*> tabOrder;
    for (QWidget* widget = dialog.nextInFocusChain(); widget != &dialog;
         widget = widget->nextInFocusChain()) {
        if ((widget->focusPolicy() & Qt::TabFocus) != 0 &&
            std::find(templateOrder.begin(), templateOrder.end(), widget) != templateOrder.end()) {
            tabOrder.push_back(widget);
        }
    }
    EXPECT_EQ(tabOrder, templateOrder);
}

INSTANTIATE_TEST_SUITE_P(, QtDialogTemplateTest,
                         testing::Values(aboutDialogId, ftpSettingsDialogId, imageSettingsDialogId,
                                         previewSettingsDialogId),
                         [](const auto& info) {
                             std::string name(findDialogTemplate(info.param)->title);
                             std::erase(name, ' ');
                             return name.empty() ? "About" : name;
                         });

// Steps: an item id clicks that item, 0 the close box, a key goes to the focused control
// (Enter to the first edit there is).
struct CloseCase {
    const char* name;
    int templateId;
    std::vector<int> steps;
    std::vector<int> commands;
};

class QtDialogClosing : public testing::TestWithParam<CloseCase> {};

TEST_P(QtDialogClosing, SendsTheCommandsAndEndsWithTheLast) {
    Recorder recorder;
    const int result = runDialog(GetParam().templateId, recorder.procedure(), [](auto& d) {
        for (const int step : GetParam().steps) {
            if (step == 0) {
                d.close();
            } else if (step < Qt::Key_Escape) {
                click(d, step);
            } else {
                if (auto* edit = d.template findChild<QLineEdit*>();
                    edit && step == Qt::Key_Return) {
                    edit->setFocus();
                }
                QTest::keyClick(d.focusWidget(), static_cast<Qt::Key>(step));
            }
        }
    });
    EXPECT_EQ(result, GetParam().commands.back());
    EXPECT_EQ(recorder.commands, GetParam().commands);
}

INSTANTIATE_TEST_SUITE_P(
    , QtDialogClosing,
    testing::Values(
        CloseCase{"OkButton", previewSettingsDialogId, {dialogOk}, {dialogOk}},
        CloseCase{"CancelButton", previewSettingsDialogId, {dialogCancel}, {dialogCancel}},
        CloseCase{"EscKey", previewSettingsDialogId, {Qt::Key_Escape}, {dialogCancel}},
        CloseCase{"CloseBox", previewSettingsDialogId, {0}, {dialogCancel}},
        CloseCase{"EnterInTheEditPressesOk", previewSettingsDialogId, {Qt::Key_Return}, {dialogOk}},
        CloseCase{"AboutEnter", aboutDialogId, {Qt::Key_Return}, {dialogOk}},
        CloseCase{"AboutEsc", aboutDialogId, {Qt::Key_Escape}, {dialogCancel}},
        CloseCase{"ApplyAndCheckBoxesLeaveItOpen",
                  imageSettingsDialogId,
                  {dialogApply, imageSettingsItem::dateTimeOverlay, dialogOk},
                  {dialogApply, imageSettingsItem::dateTimeOverlay, dialogOk}}),
    [](const auto& info) { return std::string(info.param.name); });

// A password from an old settings file may hold bytes that are not UTF-8: OK must keep it
// as it was. Typed text comes back as UTF-8, and number fields take only digits.
TEST(QtDialogHostTest, ItemsReadBackWhatWasPutInOrTyped) {
    const std::string latin1 = "p\xE9\x01\xFFz";
    std::string password;
    std::string user;
    std::string port;
    const DialogProcedure procedure = [&](DialogHost& dialog, DialogMessage message, int id) {
        if (message == DialogMessage::Init) {
            dialog.setItemText(ftpSettingsItem::password, latin1);
            return true;
        }
        password = dialog.itemText(ftpSettingsItem::password);
        user = dialog.itemText(ftpSettingsItem::user);
        port = dialog.itemText(ftpSettingsItem::port);
        dialog.endDialog(id);
        return true;
    };
    runDialog(ftpSettingsDialogId, procedure, [](QtDialogHost& d) {
        QTest::keyClicks(d.item(ftpSettingsItem::port), "1a2-3 x");
        QTest::keyClicks(d.item(ftpSettingsItem::user), "a1 ");
        // QTest types only ASCII; a key event carries the accented letter.
        QKeyEvent accented(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier,
                           QString::fromUtf8("\xC3\xA9"));
        QApplication::sendEvent(d.item(ftpSettingsItem::user), &accented);
        click(d, dialogOk);
    });
    EXPECT_EQ(password, latin1);
    EXPECT_EQ(user, "a1 \xC3\xA9");
    EXPECT_EQ(port, "123");
}

struct PlaceCase {
    const char* name;
    int templateId;
    // The pointer, from the top left (positive) or bottom right (negative) corner.
    QPoint pointer;
    // Where the dialog's centre belongs: at the pointer, or in the middle of the screen.
    bool atPointer;
};

class QtDialogPlacement : public testing::TestWithParam<PlaceCase> {};

// Settings dialogs open centred on the pointer, but wholly on the screen; About in the
// middle of the screen. Each opens with the focus on its initial item.
TEST_P(QtDialogPlacement, OpensAtItsPlaceWhollyOnTheScreen) {
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    const QPoint offset = GetParam().pointer;
    const QPoint pointer =
        screen.topLeft() + offset +
        QPoint(offset.x() < 0 ? screen.width() : 0, offset.y() < 0 ? screen.height() : 0);
    QCursor::setPos(pointer);
    QRect frame;
    bool initialFocus = false;
    Recorder recorder;
    runDialog(GetParam().templateId, recorder.procedure(), [&](QtDialogHost& d) {
        frame = d.frameGeometry();
        initialFocus = d.focusWidget() == d.item(d.dialogTemplate().initialFocusId);
        d.close();
    });
    EXPECT_TRUE(screen.contains(frame));
    EXPECT_TRUE(initialFocus);
    if (GetParam().atPointer) {
        EXPECT_LE((frame.center() - pointer).manhattanLength(), 2);
    } else if (GetParam().templateId == aboutDialogId) {
        EXPECT_LE((frame.center() - screen.center()).manhattanLength(), 2);
    }
}

INSTANTIATE_TEST_SUITE_P(
    , QtDialogPlacement,
    testing::Values(PlaceCase{"SettingsAtThePointer", imageSettingsDialogId, {320, 260}, true},
                    PlaceCase{"SettingsNearTheTopLeft", imageSettingsDialogId, {2, 2}, false},
                    PlaceCase{"SettingsNearTheBottomRight", ftpSettingsDialogId, {-2, -2}, false},
                    PlaceCase{"AboutInTheMiddle", aboutDialogId, {2, 2}, false}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
