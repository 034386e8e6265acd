#pragma once

#include "platform/DialogRunner.h"
#include "tests/support/CallLog.h"
#include "tests/support/FakeDialogHost.h"

#include <functional>
#include <vector>

// Runs a dialog's real procedure against a FakeDialogHost: Init, then what the test's
// script does (by default it presses Cancel). Records which templates were run.
class FakeDialogRunner : public DialogRunner {
public:
    using Script = std::function<void(FakeDialogHost& host, const DialogProcedure& procedure)>;

    explicit FakeDialogRunner(CallLog* log = nullptr)
        : log(log) {}

    int runDialog(TopLevelWindow* /*owner*/, int templateId,
                  const DialogProcedure& procedure) override {
        run.push_back(templateId);
        if (log) {
            log->add("dialog " + std::to_string(templateId));
        }
        FakeDialogHost host;
        host.open(procedure);
        if (script) {
            script(host, procedure);
        } else {
            host.press(procedure, dialogCancel);
        }
        return host.endResult.value_or(dialogCancel);
    }

    std::vector<int> run;
    Script script;

private:
    CallLog* log;
};
