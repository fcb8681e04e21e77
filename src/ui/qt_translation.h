#pragma once

class QCoreApplication;

// Installs Qt's own texts in Russian (standard buttons, the command line parser's messages),
// as the window's, when the translation is on the machine (qt6-translations-l10n). The
// translator lives as long as the program.
void InstallQtTranslation(QCoreApplication& app);
