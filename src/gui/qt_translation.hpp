#pragma once
/// The Russian texts of Qt's own windows (the file dialog, the folder browser and their messages), so
/// that they speak the language of the rest of the program. The message box keeps its English button
/// captions: it does not go through Qt's translations.

class QCoreApplication;
class QTranslator;

namespace ar4 {

/// Loads Qt's Russian translation ("qtbase_ru" from Qt's translations folder) and installs it in `app`,
/// which owns it. Returns the installed translator, or nullptr when the translation is not there (the
/// dialogs then stay in English).
QTranslator* InstallQtTranslation(QCoreApplication& app);

}  // namespace ar4
