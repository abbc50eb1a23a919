// Qt's own texts (file and font dialogs, standard buttons, context menus)
// in German, from the distribution's translations.
#pragma once

class QCoreApplication;

// Loads qtbase_de from Qt's translation folder and installs it; false when
// the translations are not installed.
bool InstallGermanQtTranslations(QCoreApplication& app);
