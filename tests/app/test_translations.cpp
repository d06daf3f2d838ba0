// Qt's own Simplified Chinese translations: the language follows the system
// and falls back to Simplified Chinese, and loading them changes Qt's dialogs
// and menus but not one text of the window.

#include "fakes.h"
#include "fonts.h"
#include "language.h"
#include "webview.h"

#include <QComboBox>
#include <QMap>
#include <QMetaProperty>
#include <QTest>

using namespace Qt::StringLiterals;
using zentraq::testing::WindowHarness;

namespace {

// Every text property of the window and its controls, and the combo boxes'
// items, by object name and property.
QMap<QString, QString> windowTexts() {
    WindowHarness h;
    QMap<QString, QString> texts;
    QList<QWidget*> widgets = h.window->findChildren<QWidget*>();
    widgets.prepend(h.window.get());
    for (QWidget* w : widgets) {
        const QMetaObject* meta = w->metaObject();
        for (int i = 0; i < meta->propertyCount(); ++i) {
            const QMetaProperty p = meta->property(i);
            if (p.metaType().id() == QMetaType::QString && qstrcmp(p.name(), "objectName") != 0)
                texts[w->objectName() + u'.' + QString::fromLatin1(p.name())] =
                    p.read(w).toString();
        }
        if (auto* combo = qobject_cast<QComboBox*>(w))
            for (int i = 0; i < combo->count(); ++i)
                texts[w->objectName() + u".item"_s + QString::number(i)] = combo->itemText(i);
    }
    return texts;
}

} // namespace

class TranslationsTest : public QObject {
    Q_OBJECT

    QMap<QString, QString> m_untranslated;

private slots:
    void initTestCase() {
        zentraq::WebView::setEngineEnabled(false);
        zentraq::installSongFaceSubstitution();
        m_untranslated = windowTexts();
        QVERIFY(m_untranslated.size() > 100);
    }

    void systemLanguage_data() {
        QTest::addColumn<QByteArray>("lcAll");
        QTest::addColumn<QByteArray>("lcMessages");
        QTest::addColumn<QByteArray>("lang");
        QTest::addColumn<bool>("set");
        // LC_ALL, LC_MESSAGES, LANG, names a language
        auto row = [](const char* all, const char* messages, const char* lang, bool set) {
            QTest::addRow("%s|%s|%s", all, messages, lang)
                << QByteArray(all) << QByteArray(messages) << QByteArray(lang) << set;
        };
        row("", "", "", false);
        row("", "", "C", false);
        row("", "", "en_US.UTF-8", true);
        row("", "", "de_DE@euro", true);
        row("C", "", "de_DE.UTF-8", false);
        row("", "fr_FR.UTF-8", "C", true);
        row("", "C.utf8", "ja_JP.UTF-8", false);
    }

    void systemLanguage() {
        QFETCH(QByteArray, lcAll);
        QFETCH(QByteArray, lcMessages);
        QFETCH(QByteArray, lang);
        QFETCH(bool, set);
        QCOMPARE(zentraq::systemLanguageSet(lcAll, lcMessages, lang), set);
    }

    // No language in the environment: Qt's texts in Simplified Chinese.
    void simplifiedChineseWhenNoLanguageIsSet() {
        QCOMPARE(QCoreApplication::translate("QPlatformTheme", "Cancel"), u"Cancel"_s);
        for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"})
            qunsetenv(name);
        QCOMPARE(zentraq::installQtTranslations(), 2); // qt and qtwebengine
        QCOMPARE(QLocale().name(), u"zh_CN"_s);
        QCOMPARE(QCoreApplication::translate("QPlatformTheme", "Cancel"), u"取消"_s);
        QCOMPARE(QCoreApplication::translate("QWidgetTextControl", "&Copy"), u"复制(&C)"_s);
    }

    void windowTextsStayAsDesigned() {
        const QMap<QString, QString> translated = windowTexts();
        QCOMPARE(translated, m_untranslated);
        QCOMPARE(translated.value(u"Command12.text"_s), u"生成取模数据"_s);
    }
};

QTEST_MAIN(TranslationsTest)
#include "test_translations.moc"
