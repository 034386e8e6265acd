#include "qt/QtDialogHost.h"

#include "QtTestSupport.h"
#include "app/AboutDialog.h"
#include "qt/QtDialogRunner.h"
#include "res/DialogTemplates.h"
#include "res/Version.h"

#include <QCursor>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTest>

#include <gtest/gtest.h>

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

// Each group box's frame line runs above the first row of the controls inside it, whatever
// the style and font.
TEST(QtDialogHostTest, EveryGroupBoxFramesItsFirstRow) {
    for (const int id : {ftpSettingsDialogId, imageSettingsDialogId}) {
        QtDialogHost dialog(*findDialogTemplate(id), recording);
        for (QWidget* widget : dialog.controls()) {
            auto* group = qobject_cast<QGroupBox*>(widget);
            if (group == nullptr) {
                continue;
            }
            const QImage image = group->grab().toImage();
            const QColor ground = dialog.palette().color(QPalette::Window);
            int line = 0;
            while (line < image.height() && image.pixelColor(image.width() - 4, line) == ground) {
                ++line;
            }
            int firstRow = group->height();
            for (const QWidget* inside : dialog.controls()) {
                if (inside != group && group->geometry().contains(inside->geometry())) {
                    firstRow = std::min(firstRow, inside->y() - group->y());
                }
            }
            EXPECT_LT(line, firstRow) << group->title().toStdString();
        }
    }
}

// Each control shows its template's text and tip; OK is the one default button; passwords are
// hidden and number fields take digits only.
TEST(QtDialogHostTest, ControlsAreWhatTheTemplateSays) {
    for (const int id :
         {aboutDialogId, ftpSettingsDialogId, imageSettingsDialogId, previewSettingsDialogId}) {
        const DialogTemplate& dialogTemplate = *findDialogTemplate(id);
        QtDialogHost dialog(dialogTemplate, recording);
        ASSERT_EQ(dialog.controls().size(), dialogTemplate.controls.size());
        QWidget* previous = nullptr;
        for (std::size_t i = 0; i < dialog.controls().size(); ++i) {
            const DialogControl& control = dialogTemplate.controls[i];
            QWidget* widget = dialog.controls()[i];
            SCOPED_TRACE(control.id);
            EXPECT_EQ(widget->toolTip().toStdString(), control.tip);
            if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
                EXPECT_FALSE(edit->accessibleName().isEmpty());
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
                EXPECT_FALSE(button->text().isEmpty() && button->accessibleName().isEmpty());
            }
            if ((widget->focusPolicy() & Qt::TabFocus) != 0) {
                // Tab goes from the control before to this one.
                QWidget* next = previous != nullptr ? previous->nextInFocusChain() : widget;
                while ((next->focusPolicy() & Qt::TabFocus) == 0) {
                    next = next->nextInFocusChain();
                }
                EXPECT_EQ(next, widget);
                previous = widget;
            }
        }
    }
    QtDialogHost about(*findDialogTemplate(aboutDialogId), recording);
    EXPECT_EQ(about.accessibleName().toStdString(), "kavriWebCam Version " KAVRI_VERSION);
    // A password from an old settings file may hold bytes that are not UTF-8: it must come
    // back as it was. Typed text comes back as UTF-8.
    QtDialogHost dialog(*findDialogTemplate(ftpSettingsDialogId), recording);
    for (const auto& [item, name] : {std::pair{ftpSettingsItem::user, "Username"},
                                     {ftpSettingsItem::saveTo, "Destination (full path including "
                                                               "destination file name)"}}) {
        EXPECT_EQ(dialog.item(item)->accessibleName().toStdString(), name);
    }
    dialog.setItemText(ftpSettingsItem::password, "p\xE9\x01\xFFz");
    EXPECT_EQ(dialog.itemText(ftpSettingsItem::password), "p\xE9\x01\xFFz");
    qobject_cast<QLineEdit*>(dialog.item(ftpSettingsItem::user))->setText("a1 \u00E9");
    EXPECT_EQ(dialog.itemText(ftpSettingsItem::user), "a1 \xC3\xA9");
}

// Settings dialogs open centred on the pointer, but wholly on the screen; About in the
// middle of the screen; each with the focus on its initial item. The pointer is given from
// the top left (positive) or bottom right (negative) corner of the screen. Then the steps:
// an item id clicks that item, 0 the close box, a key goes to the focused control (Enter
// to the first edit there is); the procedure gets the commands, the last ending the dialog.
TEST(QtDialogHostTest, DialogsOpenWhollyOnTheScreenAndCloseByButtonsKeysAndCloseBox) {
    struct Case {
        int templateId;
        QPoint pointer;
        std::vector<int> steps;
        std::vector<int> commands;
    };
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    const int tick = imageSettingsItem::dateTimeOverlay;
    // clang-format off
    const std::vector<Case> cases{
        {previewSettingsDialogId, {320, 260}, {dialogOk}, {dialogOk}},
        {previewSettingsDialogId, {-2, -2}, {Qt::Key_Escape}, {dialogCancel}},
        {ftpSettingsDialogId, {-2, -2}, {0}, {dialogCancel}},
        {previewSettingsDialogId, {320, 260}, {Qt::Key_Return}, {dialogOk}},
        {aboutDialogId, {2, 2}, {Qt::Key_Return}, {dialogOk}},
        {aboutDialogId, {-2, -2}, {Qt::Key_Escape}, {dialogCancel}},
        {imageSettingsDialogId, {2, 2}, {dialogApply, tick, dialogOk}, {dialogApply, tick, dialogOk}},
        {pictureSettingsDialogId, {-2, 2}, {pictureSettingsItem::isoDate, dialogCancel},
         {pictureSettingsItem::isoDate, dialogCancel}}};
    // clang-format on
    for (const auto& [templateId, offset, steps, expected] : cases) {
        const QPoint pointer =
            screen.topLeft() + offset +
            QPoint(offset.x() < 0 ? screen.width() : 0, offset.y() < 0 ? screen.height() : 0);
        QCursor::setPos(pointer);
        QRect frame;
        bool initialFocus = false;
        const int result = runDialog(templateId, [&](QtDialogHost& d) {
            frame = d.frameGeometry();
            initialFocus = d.focusWidget() == d.item(d.dialogTemplate().initialFocusId);
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
        SCOPED_TRACE(std::to_string(templateId) + " " + std::to_string(steps.front()));
        EXPECT_EQ(result, expected.back());
        EXPECT_EQ(commands, expected);
        EXPECT_TRUE(screen.contains(frame));
        EXPECT_TRUE(initialFocus);
        const QPoint centre = templateId == aboutDialogId ? screen.center() : pointer;
        if (templateId == aboutDialogId || offset.x() > 100) {
            EXPECT_LE((frame.center() - centre).manhattanLength(), 2);
        }
    }
}

} // namespace
