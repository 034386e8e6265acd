#include "qt/QtDialogRunner.h"

#include "qt/QtDialogHost.h"
#include "qt/QtTopLevelWindow.h"
#include "res/DialogTemplates.h"

int QtDialogRunner::runDialog(TopLevelWindow* owner, int templateId,
                              const DialogProcedure& procedure) {
    const DialogTemplate* dialogTemplate = findDialogTemplate(templateId);
    if (dialogTemplate == nullptr) {
        return -1;
    }
    QtDialogHost dialog(*dialogTemplate, procedure, QtTopLevelWindow::qtWindowOf(owner));
    return dialog.run();
}
