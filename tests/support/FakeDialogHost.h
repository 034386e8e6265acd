#pragma once

#include "platform/DialogHost.h"
#include "platform/DialogProcedure.h"

#include <map>
#include <optional>

// A dialog without a window: items are texts and check marks in maps, and the end of the
// dialog is recorded. The number and buffer reads are the real ones of DialogHost.
class FakeDialogHost : public DialogHost {
public:
    void setItemText(int itemId, std::string_view text) override { texts[itemId] = text; }
    std::string itemText(int itemId) const override { return texts[itemId]; }
    void setChecked(int itemId, bool checked) override { checks[itemId] = checked; }
    bool isChecked(int itemId) const override { return checks[itemId]; }
    void endDialog(int result) override { endResult = result; }
    void focusItem(int itemId) override { focused = itemId; }

    // Sends Init, as the dialog does when it opens.
    bool open(const DialogProcedure& procedure) { return procedure(*this, DialogMessage::Init, 0); }
    // Sends a command, as pressing a button does, unless the dialog has ended.
    bool press(const DialogProcedure& procedure, int commandId) {
        return !endResult && procedure(*this, DialogMessage::Command, commandId);
    }

    // Reading an item that was never set gives an empty text or no check mark.
    mutable std::map<int, std::string> texts;
    mutable std::map<int, bool> checks;
    std::optional<int> endResult;
    std::optional<int> focused;
};
