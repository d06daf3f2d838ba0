#pragma once

// The language of what Qt itself draws around the window: the file dialog,
// the message boxes' buttons, the text boxes' context menus and the web view's
// menu and error pages. The window's own texts are Simplified Chinese always.

#include <QByteArray>
#include <QLocale>

namespace zentraq {

// Whether the environment names a language: the first of LC_ALL, LC_MESSAGES
// and LANG that is not empty decides, and "C" or "POSIX" (with any encoding)
// names none.
bool systemLanguageSet(const QByteArray& lcAll, const QByteArray& lcMessages,
                       const QByteArray& lang);

// Makes Simplified Chinese the default locale when the environment names no
// language, then loads Qt's catalogs for the default locale. Call after the
// application object exists and before the web view is created. Returns the
// number of catalogs loaded (none for a language Qt has no catalogs for).
int installQtTranslations();

// Loads Qt's own catalogs ("qt", "qtwebengine") for `locale` into the
// application. Returns the number loaded.
int loadQtCatalogs(const QLocale& locale);

} // namespace zentraq
