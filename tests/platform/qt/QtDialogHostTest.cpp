#include "platform/qt/QtDialogHost.h"

#include "app/AboutDialog.h"
#include "platform/qt/QtDialogRunner.h"
#include "platform/qt/QtDialogUnits.h"
#include "res/Bitmaps.h"
#include "res/DialogTemplates.h"
#include "res/Version.h"
#include "settings/PreviewSettingsDialog.h"
#include "settings/Settings.h"

#include <QApplication>
#include <QCheckBox>
#include <QCursor>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

// A procedure that records the commands it gets; it ends the dialog on OK, and on Cancel
// unless told not to.
struct Recorder {
    std::vector<int> commands;
    bool endOnCancel = true;
    std::function<void(DialogHost&)> onOk;

    DialogProcedure procedure() {
        return [this](DialogHost& dialog, DialogMessage message, int commandId) {
            if (message == DialogMessage::Init) {
                return true;
            }
            commands.push_back(commandId);
            if (commandId == dialogOk && onOk) {
                onOk(dialog);
            }
            if (commandId == dialogOk || (commandId == dialogCancel && endOnCancel)) {
                dialog.endDialog(commandId);
                return true;
            }
            return false;
        };
    }
};

// Ends whatever dialog is still open with -99 once the limit has passed, so a dialog the
// test fails to close makes the test fail instead of hanging.
class Watchdog {
public:
    explicit Watchdog(int limitMs = 10000) {
        timer.setSingleShot(true);
        QObject::connect(&timer, &QTimer::timeout, [] {
            if (auto* open = dynamic_cast<QtDialogHost*>(QApplication::activeModalWidget())) {
                open->endDialog(-99);
                open->done(-99);
            }
        });
        timer.start(limitMs);
    }

private:
    QTimer timer;
};

// Runs the dialog templateId with procedure and calls whileOpen once the dialog is on the
// screen, from inside its modal loop. Returns the dialog's result.
int runDialog(int templateId, const DialogProcedure& procedure,
              const std::function<void(QtDialogHost&)>& whileOpen) {
    Watchdog watchdog;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* open = dynamic_cast<QtDialogHost*>(QApplication::activeModalWidget());
        if (open != nullptr && open->isVisible()) {
            poll.stop();
            whileOpen(*open);
        }
    });
    poll.start(5);
    return QtDialogRunner().runDialog(nullptr, templateId, procedure);
}

void click(QtDialogHost& dialog, int itemId) {
    QWidget* button = dialog.item(itemId);
    ASSERT_NE(button, nullptr);
    QTest::mouseClick(button, Qt::LeftButton);
}

// The ids of the controls that Tab visits, starting at the dialog's first.
std::vector<int> tabChain(const QtDialogHost& dialog) {
    std::vector<int> ids;
    for (QWidget* widget = dialog.nextInFocusChain(); widget != &dialog;
         widget = widget->nextInFocusChain()) {
        if ((widget->focusPolicy() & Qt::TabFocus) == 0) {
            continue;
        }
        for (const DialogControl& control : dialog.dialogTemplate().controls) {
            if (dialog.item(control.id) == widget) {
                ids.push_back(control.id);
            }
        }
    }
    return ids;
}

QString textOf(const QWidget* widget) {
    if (auto* button = qobject_cast<const QAbstractButton*>(widget)) {
        return button->text();
    }
    if (auto* edit = qobject_cast<const QLineEdit*>(widget)) {
        return edit->text();
    }
    if (auto* label = qobject_cast<const QLabel*>(widget)) {
        return label->text();
    }
    if (auto* group = qobject_cast<const QGroupBox*>(widget)) {
        return group->title();
    }
    return {};
}

struct TemplateCase {
    const char* name;
    int templateId;
    const char* title;
    std::vector<int> tabOrder;
    int focusId;
    // Texts the dialog must show word for word.
    std::vector<const char*> texts;
};

class TemplateRendering : public testing::TestWithParam<TemplateCase> {
protected:
    const DialogTemplate& dialogTemplate() const {
        return *findDialogTemplate(GetParam().templateId);
    }
};

TEST_P(TemplateRendering, EveryControlHasItsKindIdTextTipAndPlace) {
    Recorder recorder;
    QtDialogHost dialog(dialogTemplate(), recorder.procedure());
    const QtDialogUnits units(dialog.font());
    EXPECT_EQ(dialog.windowTitle().toStdString(), GetParam().title);
    EXPECT_EQ(dialog.size(), QSize(units.toPixelsX(dialogTemplate().width),
                                   units.toPixelsY(dialogTemplate().height)));

    ASSERT_EQ(dialog.controls().size(), dialogTemplate().controls.size());
    int defaultButtons = 0;
    for (std::size_t i = 0; i < dialog.controls().size(); ++i) {
        const DialogControl& control = dialogTemplate().controls[i];
        QWidget* widget = dialog.controls()[i];
        SCOPED_TRACE("control " + std::to_string(i) + " id " + std::to_string(control.id));
        EXPECT_EQ(textOf(widget).toStdString(), control.text);
        EXPECT_EQ(widget->toolTip().toStdString(), control.tip);
        EXPECT_TRUE(dialog.rect().contains(widget->geometry())) << "inside the dialog";
        if (control.id != dialogStaticId) {
            EXPECT_EQ(dialog.item(control.id), widget);
        }
        switch (control.kind) {
        case DialogControlKind::PushButton:
        case DialogControlKind::DefaultPushButton: {
            auto* button = qobject_cast<QPushButton*>(widget);
            ASSERT_NE(button, nullptr);
            defaultButtons += button->isDefault() ? 1 : 0;
            EXPECT_EQ(button->isDefault(), control.id == dialogOk) << "OK is the default";
            break;
        }
        case DialogControlKind::Edit: {
            auto* edit = qobject_cast<QLineEdit*>(widget);
            ASSERT_NE(edit, nullptr);
            EXPECT_EQ(edit->validator() != nullptr, (control.style & dialogStyleDigitsOnly) != 0);
            EXPECT_EQ((edit->alignment() & Qt::AlignRight) != 0,
                      (control.style & dialogStyleRightAligned) != 0);
            EXPECT_EQ(edit->echoMode() == QLineEdit::Password,
                      (control.style & dialogStylePassword) != 0);
            break;
        }
        case DialogControlKind::CheckBox:
            EXPECT_NE(qobject_cast<QCheckBox*>(widget), nullptr);
            break;
        case DialogControlKind::Label:
            EXPECT_NE(qobject_cast<QLabel*>(widget), nullptr);
            break;
        case DialogControlKind::GroupBox:
            EXPECT_NE(qobject_cast<QGroupBox*>(widget), nullptr);
            break;
        case DialogControlKind::Picture: {
            auto* picture = qobject_cast<QLabel*>(widget);
            ASSERT_NE(picture, nullptr);
            ASSERT_FALSE(findBitmapXpm(control.imageId).empty());
            EXPECT_FALSE(picture->pixmap().isNull());
            EXPECT_EQ(widget->pos(),
                      QPoint(units.toPixelsX(control.x), units.toPixelsY(control.y)));
            break;
        }
        }
        if (control.kind != DialogControlKind::PushButton &&
            control.kind != DialogControlKind::DefaultPushButton &&
            control.kind != DialogControlKind::Picture) {
            EXPECT_EQ(widget->geometry(),
                      units.toPixels(control.x, control.y, control.width, control.height));
        }
    }
    EXPECT_EQ(defaultButtons, 1);
    for (const char* text : GetParam().texts) {
        const bool shown = std::any_of(dialog.controls().begin(), dialog.controls().end(),
                                       [&](QWidget* w) { return textOf(w) == QString(text); });
        EXPECT_TRUE(shown) << text;
    }
}

TEST_P(TemplateRendering, TabVisitsButtonsCheckBoxesAndEditsInTemplateOrder) {
    Recorder recorder;
    QtDialogHost dialog(dialogTemplate(), recorder.procedure());
    EXPECT_EQ(tabChain(dialog), GetParam().tabOrder);
}

TEST_P(TemplateRendering, OpensWithTheFocusOnItsInitialItem) {
    Recorder recorder;
    int focusedId = 0;
    const int result = runDialog(GetParam().templateId, recorder.procedure(), [&](QtDialogHost& d) {
        for (const DialogControl& control : d.dialogTemplate().controls) {
            if (control.id != dialogStaticId && d.item(control.id) == d.focusWidget()) {
                focusedId = control.id;
            }
        }
        d.close();
    });
    EXPECT_EQ(result, dialogCancel);
    EXPECT_EQ(focusedId, GetParam().focusId);
}

INSTANTIATE_TEST_SUITE_P(
    , TemplateRendering,
    testing::Values(
        TemplateCase{"About",
                     aboutDialogId,
                     "",
                     {1},
                     1,
                     {"kavriWebCam Version " KAVRI_VERSION,
                      "This program uses Independent JPEG Group's JPEG software."}},
        TemplateCase{"FtpSettings",
                     ftpSettingsDialogId,
                     "FTP Settings",
                     {1014, 1015, 1007, 1008, 1010, 1011, 1009, 1, 2, 1018},
                     1014,
                     {"Use FTP to upload each grabbed image.", "Stop on all FTP errors.", "FTP",
                      "Destination (full path including destination file name):",
                      "Use FTP in passive mode.", "Username:", "Password:"}},
        TemplateCase{"ImageSettings",
                     imageSettingsDialogId,
                     "Image Settings",
                     {1, 2, 1005, 1006, 1013, 1017, 1007, 1008, 1009, 1010, 1015, 1016, 1018, 3},
                     1,
                     {"Quality (%):", "Save as:", "Jpeg", "Image Update",
                      "Update every:", "seconds", "Overlay", "Date and Time Overlay",
                      "Red (0-255):", "Green (0-255):", "Blue (0-255):", "Text Color",
                      "Background Color", "Text Overlay:", "Apply"}},
        TemplateCase{"PreviewSettings",
                     previewSettingsDialogId,
                     "Preview Settings",
                     {1, 2, 1000},
                     1,
                     {"Frames per second:", "OK", "Cancel"}}),
    [](const auto& info) { return std::string(info.param.name); });

struct CloseCase {
    const char* name;
    std::function<void(QtDialogHost&)> action;
    int result;
};

class PreviewClosing : public testing::TestWithParam<CloseCase> {};

TEST_P(PreviewClosing, EndsWithTheCommandsResult) {
    Recorder recorder;
    EXPECT_EQ(runDialog(previewSettingsDialogId, recorder.procedure(), GetParam().action),
              GetParam().result);
    EXPECT_EQ(recorder.commands, std::vector<int>{GetParam().result});
}

INSTANTIATE_TEST_SUITE_P(
    , PreviewClosing,
    testing::Values(
        CloseCase{"OkButton", [](QtDialogHost& d) { click(d, dialogOk); }, dialogOk},
        CloseCase{"CancelButton", [](QtDialogHost& d) { click(d, dialogCancel); }, dialogCancel},
        CloseCase{"EscKey",
                  [](QtDialogHost& d) { QTest::keyClick(d.focusWidget(), Qt::Key_Escape); },
                  dialogCancel},
        CloseCase{"CloseBox", [](QtDialogHost& d) { d.close(); }, dialogCancel},
        CloseCase{"EnterInTheEditPressesOk",
                  [](QtDialogHost& d) {
                      d.item(1000)->setFocus();
                      QTest::keyClick(d.item(1000), Qt::Key_Return);
                  },
                  dialogOk}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(QtDialogHostTest, EnterAndEscCloseTheAboutBox) {
    const auto pressKey = [](Qt::Key key) {
        return [key](QtDialogHost& d) { QTest::keyClick(d.focusWidget(), key); };
    };
    EXPECT_EQ(runDialog(aboutDialogId, aboutDialogProc, pressKey(Qt::Key_Return)), dialogOk);
    EXPECT_EQ(runDialog(aboutDialogId, aboutDialogProc, pressKey(Qt::Key_Escape)), dialogCancel);
}

TEST(QtDialogHostTest, CloseBoxLeavesTheDialogOpenWhenTheProcedureDoesNotEndIt) {
    Recorder recorder;
    recorder.endOnCancel = false;
    bool visibleAfterClose = false;
    const int result =
        runDialog(previewSettingsDialogId, recorder.procedure(), [&](QtDialogHost& d) {
            d.close();
            QTest::keyClick(d.focusWidget(), Qt::Key_Escape);
            visibleAfterClose = d.isVisible();
            click(d, dialogOk);
        });
    EXPECT_TRUE(visibleAfterClose);
    EXPECT_EQ(result, dialogOk);
    EXPECT_EQ(recorder.commands, (std::vector<int>{dialogCancel, dialogCancel, dialogOk}));
}

TEST(QtDialogHostTest, ApplyAndCheckBoxesSendTheirIdsWithoutClosing) {
    Recorder recorder;
    bool checked = false;
    const int result = runDialog(imageSettingsDialogId, recorder.procedure(), [&](QtDialogHost& d) {
        click(d, dialogApply);
        click(d, 1017);
        checked = d.isChecked(1017);
        click(d, dialogOk);
    });
    EXPECT_EQ(result, dialogOk);
    EXPECT_TRUE(checked);
    EXPECT_EQ(recorder.commands, (std::vector<int>{dialogApply, 1017, dialogOk}));
}

TEST(QtDialogHostTest, DigitsOnlyFieldTakesOnlyDigits) {
    Recorder recorder;
    unsigned quality = 0;
    std::string overlay;
    recorder.onOk = [&](DialogHost& dialog) {
        quality = dialog.readItemUnsigned(1005);
        overlay = dialog.readItemText(1007, 40);
    };
    runDialog(imageSettingsDialogId, recorder.procedure(), [&](QtDialogHost& d) {
        QTest::keyClicks(d.item(1005), "1a2-3 x");
        QTest::keyClicks(d.item(1007), "a1 ");
        // QTest types only ASCII; a key event carries the accented letter.
        QKeyEvent accented(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier,
                           QString::fromUtf8("\xC3\xA9"));
        QApplication::sendEvent(d.item(1007), &accented);
        click(d, dialogOk);
    });
    EXPECT_EQ(quality, 123u);
    EXPECT_EQ(overlay, "a1 \xC3\xA9");
}

TEST(QtDialogHostTest, UneditedItemReadsBackTheExactBytesPutIntoIt) {
    // A password from an old settings file may hold bytes that are not UTF-8; opening the
    // dialog and pressing OK must not change it.
    const std::string latin1 = "p\xE9\x01\xFFz";
    std::string unedited;
    std::string edited;
    const DialogProcedure procedure = [&](DialogHost& dialog, DialogMessage message, int id) {
        if (message == DialogMessage::Init) {
            dialog.setItemText(1011, latin1);
            dialog.setItemText(1010, latin1);
            return true;
        }
        unedited = dialog.itemText(1011);
        edited = dialog.itemText(1010);
        dialog.endDialog(id);
        return true;
    };
    runDialog(ftpSettingsDialogId, procedure, [&](QtDialogHost& d) {
        auto* user = qobject_cast<QLineEdit*>(d.item(1010));
        user->clear();
        QTest::keyClicks(user, "abc");
        click(d, dialogOk);
    });
    EXPECT_EQ(unedited, latin1);
    EXPECT_EQ(edited, "abc");
}

TEST(QtDialogHostTest, TimerKeepsTickingWhileTheDialogIsOpen) {
    int ticks = 0;
    QTimer grabTimer;
    QObject::connect(&grabTimer, &QTimer::timeout, [&] {
        if (++ticks == 3) {
            if (auto* open = dynamic_cast<QtDialogHost*>(QApplication::activeModalWidget())) {
                click(*open, dialogOk);
            }
        }
    });
    grabTimer.start(500);
    Recorder recorder;
    const int result =
        runDialog(previewSettingsDialogId, recorder.procedure(), [](QtDialogHost&) {});
    EXPECT_EQ(result, dialogOk);
    EXPECT_EQ(ticks, 3);
}

TEST(QtDialogHostTest, ProcedureEndingTheDialogOnInitReturnsAtOnce) {
    Watchdog watchdog;
    const DialogProcedure procedure = [](DialogHost& dialog, DialogMessage, int) {
        dialog.endDialog(7);
        return true;
    };
    EXPECT_EQ(QtDialogRunner().runDialog(nullptr, aboutDialogId, procedure), 7);
}

TEST(QtDialogHostTest, UnknownTemplateGivesMinusOne) {
    Recorder recorder;
    EXPECT_EQ(QtDialogRunner().runDialog(nullptr, 999, recorder.procedure()), -1);
    EXPECT_TRUE(recorder.commands.empty());
}

TEST(QtDialogHostTest, SettingsDialogIsCentredOnTheMousePointerAndAboutOnTheScreen) {
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    const QPoint pointer = screen.center() + QPoint(40, 30);
    QCursor::setPos(pointer);
    Recorder recorder;
    QPoint settingsCentre;
    QPoint aboutCentre;
    runDialog(previewSettingsDialogId, recorder.procedure(), [&](QtDialogHost& d) {
        settingsCentre = d.frameGeometry().center();
        d.close();
    });
    runDialog(aboutDialogId, recorder.procedure(), [&](QtDialogHost& d) {
        aboutCentre = d.frameGeometry().center();
        d.close();
    });
    EXPECT_LE((settingsCentre - pointer).manhattanLength(), 2);
    EXPECT_LE((aboutCentre - screen.center()).manhattanLength(), 2);
}

TEST(QtDialogHostTest, RealPreviewProcedureStoresTheLimitedRate) {
    Settings::setFps(10);
    Settings::setMaxFps(30);
    const int result =
        runDialog(previewSettingsDialogId, previewSettingsDialogProc, [](QtDialogHost& d) {
            auto* edit = qobject_cast<QLineEdit*>(d.item(1000));
            EXPECT_EQ(edit->text(), "10");
            edit->selectAll();
            QTest::keyClicks(edit, "45");
            click(d, dialogOk);
        });
    EXPECT_EQ(result, dialogOk);
    EXPECT_EQ(Settings::getFps(), 30);
    Settings::setFps(30);
}

} // namespace
