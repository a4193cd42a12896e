#pragma once
// The Auto popup and Auto start options (the latter mirrors the autostart entry): the one
// place the program keeps them; the application owns it.
struct DesktopSettings {
    bool autoPopup = true;
    bool autoStart = false;
    bool storeSamples = true;  // the sample history (remembered between runs)
};
