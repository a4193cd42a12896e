#pragma once
// "How to ...": the help page beside the executable, opened with the desktop's own program.
#include <QUrl>

// Where the help page is looked for: beside the executable, else in the installed data
// folder (the page beside the executable is named even when it is missing).
QUrl HelpPageUrl();

// Hands the help page to the desktop and returns at once; a missing page or a desktop
// without a program for it is not reported, as with any file opened through the shell.
void OnHowTo();
