#include "platform/qt/QtDialogHost.h"

#include "QtTestSupport.h"
#include "app/AboutDialog.h"
#include "platform/qt/QtDialogRunner.h"
#include "res/DialogTemplates.h"

#include <QCursor>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

std::vector<int> commands;

// Records the commands it gets and ends the dialog on OK and Cancel.
bool recording(DialogHost& dialog, DialogMessage message, int commandId) {
    if (message == DialogMessage::Command) {
        commands.push_back(commandId);
        if (commandId == dialogOk || commandId == dialogCancel) {
            dialog.endDialog(commandId);
        }
    }
    return message == DialogMessage::Init || commandId <= dialogCancel;
}

// Runs the dialog and calls whileOpen once it is on the screen; returns how it ended.
int runDialog(int templateId, const std::function<void(QtDialogHost&)>& whileOpen,
              const DialogProcedure& procedure = recording) {
    commands.clear();
    return withDialog([&](QDialog& d) { whileOpen(dynamic_cast<QtDialogHost&>(d)); },
                      [&] { return QtDialogRunner().runDialog(nullptr, templateId, procedure); });
}

// Each control shows its template's text and tip; OK is the one default button; passwords are
// hidden and number fields take digits only; Tab visits the controls in template order.
TEST(QtDialogHostTest, ControlsAreWhatTheTemplateSays) {
    for (const int id :
         {aboutDialogId, ftpSettingsDialogId, imageSettingsDialogId, previewSettingsDialogId}) {
        const DialogTemplate& dialogTemplate = *findDialogTemplate(id);
        QtDialogHost dialog(dialogTemplate, recording);
        ASSERT_EQ(dialog.controls().size(), dialogTemplate.controls.size());
        std::vector<QWidget*> templateOrder;
        for (std::size_t i = 0; i < dialog.controls().size(); ++i) {
            const DialogControl& control = dialogTemplate.controls[i];
            QWidget* widget = dialog.controls()[i];
            SCOPED_TRACE(control.id);
            EXPECT_EQ(widget->toolTip().toStdString(), control.tip);
            if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
                EXPECT_EQ(edit->validator() != nullptr,
                          (control.style & dialogStyleDigitsOnly) != 0);
                EXPECT_EQ(edit->echoMode() == QLineEdit::Password,
                          (control.style & dialogStylePassword) != 0);
            } else if (control.kind != DialogControlKind::Picture) {
                const char* property = qobject_cast<QGroupBox*>(widget) ? "title" : "text";
                EXPECT_EQ(widget->property(property).toString().toStdString(), control.text);
            }
            if (auto* button = qobject_cast<QPushButton*>(widget)) {
                EXPECT_EQ(button->isDefault(), control.id == dialogOk);
            }
            if ((widget->focusPolicy() & Qt::TabFocus) != 0) {
                templateOrder.push_back(widget);
            }
        }
        std::vector<QWidget*> tabOrder;
        for (QWidget* w = dialog.nextInFocusChain(); w != &dialog; w = w->nextInFocusChain()) {
            if (std::ranges::find(templateOrder, w) != templateOrder.end()) {
                tabOrder.push_back(w);
            }
        }
        EXPECT_EQ(tabOrder, templateOrder);
    }
}

// Steps: an item id clicks that item, 0 the close box, a key goes to the focused control
// (Enter to the first edit there is); then the commands the procedure got, the last ending it.
TEST(QtDialogHostTest, ButtonsKeysAndTheCloseBoxSendTheirCommands) {
    struct Case {
        int templateId;
        std::vector<int> steps;
        std::vector<int> commands;
    };
    const int tick = imageSettingsItem::dateTimeOverlay;
    for (const auto& [templateId, steps, expected] :
         std::vector<Case>{{previewSettingsDialogId, {dialogOk}, {dialogOk}},
                           {previewSettingsDialogId, {dialogCancel}, {dialogCancel}},
                           {previewSettingsDialogId, {Qt::Key_Escape}, {dialogCancel}},
                           {previewSettingsDialogId, {0}, {dialogCancel}},
                           {previewSettingsDialogId, {Qt::Key_Return}, {dialogOk}},
                           {aboutDialogId, {Qt::Key_Return}, {dialogOk}},
                           {aboutDialogId, {Qt::Key_Escape}, {dialogCancel}},
                           {imageSettingsDialogId,
                            {dialogApply, tick, dialogOk},
                            {dialogApply, tick, dialogOk}}}) {
        const int result = runDialog(templateId, [&](QtDialogHost& d) {
            for (const int step : steps) {
                if (step == 0) {
                    d.close();
                } else if (step < Qt::Key_Escape) {
                    QTest::mouseClick(d.item(step), Qt::LeftButton);
                } else {
                    if (auto* edit = d.findChild<QLineEdit*>(); edit && step == Qt::Key_Return) {
                        edit->setFocus();
                    }
                    QTest::keyClick(d.focusWidget(), static_cast<Qt::Key>(step));
                }
            }
        });
        EXPECT_EQ(result, expected.back()) << templateId << " " << steps.front();
        EXPECT_EQ(commands, expected) << templateId << " " << steps.front();
    }
}

// A password from an old settings file may hold bytes that are not UTF-8: OK must keep it
// as it was. Typed text comes back as UTF-8, and number fields take only digits.
TEST(QtDialogHostTest, ItemsReadBackWhatWasPutInOrTyped) {
    const std::string latin1 = "p\xE9\x01\xFFz";
    std::vector<std::string> read;
    const auto typeAndPressOk = [](QtDialogHost& d) {
        QTest::keyClicks(d.item(ftpSettingsItem::port), "1a2-3 x");
        QTest::keyClicks(d.item(ftpSettingsItem::user), "a1 ");
        // QTest types only ASCII; a key event carries the accented letter.
        QKeyEvent accented(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier,
                           QString::fromUtf8("\xC3\xA9"));
        QApplication::sendEvent(d.item(ftpSettingsItem::user), &accented);
        QTest::mouseClick(d.item(dialogOk), Qt::LeftButton);
    };
    runDialog(ftpSettingsDialogId, typeAndPressOk, [&](DialogHost& d, DialogMessage message, int) {
        if (message == DialogMessage::Init) {
            d.setItemText(ftpSettingsItem::password, latin1);
            return true;
        }
        read = {d.itemText(ftpSettingsItem::password), d.itemText(ftpSettingsItem::user),
                d.itemText(ftpSettingsItem::port)};
        d.endDialog(dialogOk);
        return true;
    });
    EXPECT_EQ(read, (std::vector<std::string>{latin1, "a1 \xC3\xA9", "123"}));
}

// Settings dialogs open centred on the pointer, but wholly on the screen; About in the
// middle of the screen. Each opens with the focus on its initial item. The pointer is given
// from the top left (positive) or bottom right (negative) corner.
TEST(QtDialogHostTest, DialogsOpenAtTheirPlaceWhollyOnTheScreen) {
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    for (const auto& [templateId, offset] : {std::pair{imageSettingsDialogId, QPoint(320, 260)},
                                             {imageSettingsDialogId, {2, 2}},
                                             {ftpSettingsDialogId, {-2, -2}},
                                             {aboutDialogId, {2, 2}}}) {
        const QPoint pointer =
            screen.topLeft() + offset +
            QPoint(offset.x() < 0 ? screen.width() : 0, offset.y() < 0 ? screen.height() : 0);
        QCursor::setPos(pointer);
        QRect frame;
        bool initialFocus = false;
        runDialog(templateId, [&](QtDialogHost& d) {
            frame = d.frameGeometry();
            initialFocus = d.focusWidget() == d.item(d.dialogTemplate().initialFocusId);
            d.close();
        });
        SCOPED_TRACE(templateId);
        EXPECT_TRUE(screen.contains(frame));
        EXPECT_TRUE(initialFocus);
        if (offset.x() > 100) {
            EXPECT_LE((frame.center() - pointer).manhattanLength(), 2);
        } else if (templateId == aboutDialogId) {
            EXPECT_LE((frame.center() - screen.center()).manhattanLength(), 2);
        }
    }
}

} // namespace
