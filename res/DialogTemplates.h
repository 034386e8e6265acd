#pragma once

#include "platform/DialogTemplate.h"

// The program's dialog templates.
inline constexpr int aboutDialogId = 103;
inline constexpr int ftpSettingsDialogId = 132;
inline constexpr int imageSettingsDialogId = 134;
inline constexpr int previewSettingsDialogId = 135;

// The template with the given id, or null when there is none.
const DialogTemplate* findDialogTemplate(int templateId);
