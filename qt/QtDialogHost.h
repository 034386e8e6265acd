#pragma once

#include "platform/DialogHost.h"
#include "platform/DialogProcedure.h"
#include "platform/DialogTemplate.h"

#include <QDialog>
#include <QString>

#include <map>
#include <string>
#include <utility>
#include <vector>

// A modal dialog built from a dialog template, with its procedure: the dialog host of the
// Qt layer. The controls sit at the template's positions, converted from dialog units with
// the dialog font's metrics; the tab order is the template order.
//
// Push buttons and check boxes send their id as a command when clicked; Esc and the close
// box send "Cancel" (2). The dialog closes only when the procedure ends it.
class QtDialogHost : public QDialog, public DialogHost {
public:
    QtDialogHost(const DialogTemplate& dialogTemplate, DialogProcedure procedure,
                 QWidget* parent = nullptr);

    // Sends Init, gives the initial item the focus if the procedure asks for it, places the
    // dialog and runs it modally. Returns the result the procedure ended it with; a run that
    // ends without one (the application quitting) counts as "Cancel".
    int run();

    // The control with the given id, or null when there is none.
    QWidget* item(int itemId) const;
    // Every control, in template order.
    const std::vector<QWidget*>& controls() const { return controls_; }
    const DialogTemplate& dialogTemplate() const { return template_; }

    void setItemText(int itemId, std::string_view text) override;
    std::string itemText(int itemId) const override;
    void setChecked(int itemId, bool checked) override;
    bool isChecked(int itemId) const override;
    void endDialog(int result) override;
    void focusItem(int itemId) override;

    // Esc and the close box.
    void reject() override;

private:
    void buildControls();
    // The widget of a control, with its tip.
    // For screen readers: a field is named after its label, a button without text after its
    // role, and a dialog without a title after its first label.
    void nameForAssistiveTools(const DialogControl& control, QWidget* widget);
    QWidget* createControl(const DialogControl& control);
    QWidget* createWidget(const DialogControl& control);
    void sendCommand(int commandId);
    void place();

    const DialogTemplate& template_;
    DialogProcedure procedure_;
    std::vector<QWidget*> controls_;
    std::map<int, QWidget*> items_;
    // The bytes last put into each item and the text shown for them: an item the user has
    // not changed reads back these exact bytes, even ones that are not valid UTF-8.
    std::map<int, std::pair<std::string, QString>> texts_;
    bool ended_ = false;
    int result_ = 0;
};
