#pragma once
// Qt's own texts (file dialogs, standard buttons) in Chinese, to match the
// programs' own texts, from the translations Qt installs (Debian:
// qt6-translations-l10n).

class QCoreApplication;

// Installs Qt's zh_CN translation into app; false when it is not installed,
// and then Qt's texts stay in English.
bool LoadQtChineseTranslation(QCoreApplication& app);
