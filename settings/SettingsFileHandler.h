#pragma once

#include "settings/XmlHandler.h"

class Capture;
class MainWindow;

// Applies the settings of the four sections of the settings file as their start tags
// arrive: element and attribute names are compared exactly, numbers are read the way atoi
// reads them, a boolean is true only for the number 1, texts have their character
// references undone and the password its transformation. Unknown elements and attributes
// are ignored; parser errors go to the base class, which drops them.
class SettingsFileHandler : public XmlHandler {
public:
    // Neither object is owned; both must outlive the handler.
    SettingsFileHandler(MainWindow& mainWindow, Capture& capture);

    void startElement(const XmlElement* element) override;

private:
    MainWindow* mainWindow;
    Capture* capture;
};
