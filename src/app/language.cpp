#include "language.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

namespace zentraq {

bool systemLanguageSet(const QByteArray& lcAll, const QByteArray& lcMessages,
                       const QByteArray& lang) {
    for (const QByteArray& value : {lcAll, lcMessages, lang}) {
        if (value.isEmpty())
            continue;
        // "C.UTF-8" and "C@modifier" are the C locale too.
        const QByteArray name = value.split('.').first().split('@').first();
        return name != "C" && name != "POSIX";
    }
    return false;
}

int loadQtCatalogs(const QLocale& locale) {
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    int loaded = 0;
    for (const char* catalog : {"qt", "qtwebengine"}) {
        auto* translator = new QTranslator(QCoreApplication::instance());
        if (translator->load(locale, QString::fromLatin1(catalog), QStringLiteral("_"), folder) &&
            QCoreApplication::installTranslator(translator)) {
            ++loaded;
        } else {
            delete translator;
        }
    }
    return loaded;
}

int installQtTranslations() {
    if (!systemLanguageSet(qgetenv("LC_ALL"), qgetenv("LC_MESSAGES"), qgetenv("LANG")))
        QLocale::setDefault(
            QLocale(QLocale::Chinese, QLocale::SimplifiedHanScript, QLocale::China));
    return loadQtCatalogs(QLocale());
}

} // namespace zentraq
