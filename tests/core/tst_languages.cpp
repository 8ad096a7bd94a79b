// Language checks against the iso-codes lists: the forms people type, and what is refused.
#include "languages.h"

#include <QTest>

#include <algorithm>

using namespace perlane;

class TestLanguages : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void check_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("tag"); // empty: refused
        QTest::addColumn<QString>("description");
        QTest::addColumn<QString>("reason"); // a part of the reason given
        QTest::newRow("639-2 code") << "eng" << "eng" << "English" << "";
        QTest::newRow("bibliographic") << "ger" << "ger" << "German" << "";
        QTest::newRow("terminology") << "deu" << "deu" << "German" << "";
        QTest::newRow("639-1") << "ja" << "ja" << "Japanese" << "";
        QTest::newRow("639-3 only") << "yue" << "yue" << "Yue Chinese" << "";
        QTest::newRow("collective") << "mul" << "mul" << "Multiple languages" << "";
        QTest::newRow("local use") << "qaa" << "qaa" << "Local use (qaa)" << "";
        QTest::newRow("region") << "pt-BR" << "pt-BR" << "Portuguese (Brazil)" << "";
        QTest::newRow("case and spaces") << " PT-br " << "pt-BR" << "Portuguese (Brazil)" << "";
        QTest::newRow("script and region") << "zh-hant-tw" << "zh-Hant-TW" << "Chinese (Han (Traditional variant), Taiwan)" << "";
        QTest::newRow("long code before region") << "ger-CH" << "de-CH" << "German (Switzerland)" << "";
        QTest::newRow("UN region") << "es-419" << "es-419" << "Spanish (Latin America and the Caribbean)" << "";
        QTest::newRow("UN subregion") << "fr-017" << "fr-017" << "French (Middle Africa)" << "";
        QTest::newRow("country number") << "en-840" << "en-US" << "English (United States)" << "";
        QTest::newRow("script") << "sr-Latn" << "sr-Latn" << "Serbian (Latin)" << "";
        QTest::newRow("empty") << "" << "" << "" << "Enter a language code, for example eng, ger, pt-BR or zh-Hant-TW.";
        QTest::newRow("only spaces") << "   " << "" << "" << "Enter a language code";
        QTest::newRow("unknown code") << "xx" << "" << "" << "not an ISO 639 language code";
        QTest::newRow("a name") << "english" << "" << "" << "two or three letters";
        QTest::newRow("one letter") << "e" << "" << "" << "two or three letters";
        QTest::newRow("underscore") << "en_US" << "" << "" << "two or three letters";
        QTest::newRow("unknown country") << "en-xx" << "" << "" << "\u201Cxx\u201D is not an ISO 3166 country"; // named as typed
        QTest::newRow("unknown script") << "en-Abcd" << "" << "" << "not an ISO 15924 script";
        QTest::newRow("variant") << "de-CH-1996" << "" << "" << "only a language, a script and a region";
        QTest::newRow("private use") << "en-US-x-foo" << "" << "" << "only a language, a script and a region";
        QTest::newRow("script after region") << "zh-TW-Hant" << "" << "" << "only a language, a script and a region";
        QTest::newRow("control character") << "en\n" << "" << "" << "control characters";
    }
    void check() {
        QFETCH(QString, text);
        QFETCH(QString, tag);
        QFETCH(QString, description);
        QFETCH(QString, reason);
        const auto checked = languages::check(text);
        if (tag.isEmpty()) {
            QVERIFY(!checked);
            QVERIFY2(checked.error().contains(reason), qPrintable(checked.error()));
        } else {
            QVERIFY2(checked, qPrintable(checked ? QString() : checked.error()));
            QCOMPARE(checked->tag, tag);
            QCOMPARE(checked->description, description);
        }
    }

    void spellings_of_one_language_are_the_same() {
        QVERIFY(languages::same(QStringLiteral("ger"), QStringLiteral("de")));
        QVERIFY(languages::same(QStringLiteral("deu"), QStringLiteral("ger")));
        QVERIFY(languages::same(QStringLiteral("ger-CH"), QStringLiteral("de-ch")));
        QVERIFY(!languages::same(QStringLiteral("pt"), QStringLiteral("pt-BR")));
        QVERIFY(languages::within(QStringLiteral("pt-BR"), QStringLiteral("por")));
        QVERIFY(!languages::within(QStringLiteral("pt"), QStringLiteral("pt-BR")));
        QVERIFY(!languages::within(QStringLiteral("zh-Hans"), QStringLiteral("zh-Hant")));
    }

    void search_by_name_or_code() {
        auto first = [](const QString &q) {
            const auto found = languages::search(q);
            return found.empty() ? QString() : found.front().label;
        };
        auto labels = [](const char *q) {
            QStringList out;
            for (const auto &c : languages::search(QString::fromUtf8(q), 4))
                out << c.label;
            return out.join(QLatin1Char('|'));
        };
        QCOMPARE(first(QStringLiteral("eng")), QStringLiteral("English \u2014 eng"));
        // A code as typed comes before the names it starts.
        QCOMPARE(first(QStringLiteral("de")), QStringLiteral("German — de"));
        QCOMPARE(first(QStringLiteral("germ")), QStringLiteral("German \u2014 ger"));
        QCOMPARE(first(QStringLiteral("portuguese bra")), QStringLiteral("Portuguese (Brazil) \u2014 pt-BR"));
        QCOMPARE(first(QStringLiteral("Portuguese (Brazil")), QStringLiteral("Portuguese (Brazil) \u2014 pt-BR"));
        QCOMPARE(first(QStringLiteral("zh-Hant-TW")), QStringLiteral("Chinese (Han (Traditional variant), Taiwan) \u2014 zh-Hant-TW"));
        // Ranked: names that start with the text, then words inside names; the everyday
        // (ISO 639-2) list before the rest; nothing listed twice.
        QCOMPARE(labels("fren"), QStringLiteral("French — fre|French, Middle (ca. 1400-1600) — frm|French, Old (842-ca. 1400) — fro|"
                                                "Creoles and pidgins, French-based — cpf"));
        QCOMPARE(labels("span"), QStringLiteral("Spanish — spa|Spanish Sign Language — ssp|Loreto-Ucayali Spanish — spq|"
                                                "Old Spanish — osp"));
        QCOMPARE(labels(""), QStringLiteral("Abkhazian — abk|Achinese — ace|Acoli — ach|Adangme — ada"));
        // Spaces around what is typed are not part of it.
        QCOMPARE(labels("  fren "), labels("fren"));
        QCOMPARE(first(QStringLiteral(" eng ")), QStringLiteral("English \u2014 eng"));
        // "ro-ro" is both a tag as typed and a name followed by a region's: listed once.
        const auto romanian = languages::search(QStringLiteral("ro-ro"));
        QCOMPARE(std::ranges::count(romanian, QStringLiteral("ro-RO"), &languages::Choice::tag), 1);
        // A language typed by any of its codes, each the start of its name too: listed once.
        for (const char *q : {"en", "fr", "ger", "fre", "chi"}) {
            const auto found = languages::search(QString::fromUtf8(q));
            for (std::size_t i = 0; i < found.size(); ++i)
                for (std::size_t j = i + 1; j < found.size(); ++j)
                    QVERIFY2(!languages::same(found[i].tag, found[j].tag), qPrintable(found[i].label + " / " + found[j].label));
        }
        // A code as typed, then every other name it starts, wherever they stand in the lists.
        QCOMPARE(labels("ger"), QStringLiteral("German — ger|German, Middle High (ca. 1050-1500) — gmh|"
                                               "German, Old High (ca. 750-1050) — goh|Germanic languages — gem"));
        QVERIFY(languages::search(QStringLiteral("zzzzqq")).empty());
        QCOMPARE(languages::search(QStringLiteral("a"), 5).size(), 5u);
    }
};

QTEST_GUILESS_MAIN(TestLanguages)
#include "tst_languages.moc"
