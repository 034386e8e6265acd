#include "platform/qt/QtDialogRunner.h"

#include "platform/qt/QtDialogHost.h"
#include "res/DialogTemplates.h"

QtDialogRunner::QtDialogRunner(QWidget* owner)
    : owner_(owner) {}

int QtDialogRunner::runDialog(int templateId, const DialogProcedure& procedure) {
    const DialogTemplate* dialogTemplate = findDialogTemplate(templateId);
    if (dialogTemplate == nullptr) {
        return -1;
    }
    QtDialogHost dialog(*dialogTemplate, procedure, owner_);
    return dialog.run();
}
