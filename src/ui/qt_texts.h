#pragma once

class QCoreApplication;

// Puts Qt's own texts (a line edit's context menu, the standard dialogs) into Russian with the
// qtbase translation installed beside Qt. False when it is not installed: those texts then
// stay English, and the program's own texts are unaffected.
bool InstallRussianQtTexts(QCoreApplication& app);
