#pragma once

#include "settings/SettingsTable.h"
#include "settings/XmlHandler.h"

// Applies the settings of the file's sections as their start tags arrive: a section and a
// key name a setting of the settings table, compared exactly; numbers are read the way
// atoi reads them, a boolean is true only for the number 1, texts have their references
// undone and the password its transformation. A "camera" element with a card name holds a
// camera's own settings (RememberedCamera). Unknown elements and attributes are ignored;
// parser errors go to the base class, which drops them.
class SettingsFileHandler : public XmlHandler {
public:
    // The holders must outlive the handler.
    explicit SettingsFileHandler(const SettingsHolders& holders);

    void startElement(const XmlElement* element) override;

private:
    SettingsHolders holders_;
};
