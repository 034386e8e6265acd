#pragma once

#include "platform/DialogRunner.h"
#include "tests/support/FakeDialogHost.h"

#include <functional>
#include <utility>
#include <vector>

// Runs a dialog's real procedure against a FakeDialogHost: Init, then the test's script (by
// default it presses Cancel). Records which templates were run.
class FakeDialogRunner : public DialogRunner {
public:
    using Script = std::function<void(FakeDialogHost& host, const DialogProcedure& procedure)>;

    int runDialog(TopLevelWindow*, int templateId, const DialogProcedure& procedure) override {
        run.push_back(templateId);
        FakeDialogHost host;
        host.open(procedure);
        if (script) {
            std::exchange(script, nullptr)(host, procedure);
        } else {
            host.press(procedure, dialogCancel);
        }
        return host.endResult.value_or(dialogCancel);
    }

    std::vector<int> run;
    // Used by the next dialog only.
    Script script;
};
