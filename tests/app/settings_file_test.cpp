#include "app/settings_file.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include "tests/app/app_test_registry.h"

using vorlano::TIniFile;

namespace {

QByteArray ReadAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void WriteAll(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

}  // namespace

class TSettingsFileTest : public QObject {
    Q_OBJECT
  private slots:
    void integerForms_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<long>("value");
        QTest::newRow("zero") << "0" << true << 0L;
        QTest::newRow("blanks") << "  12 " << true << 12L;
        QTest::newRow("hex") << "0x1F" << true << 31L;
        QTest::newRow("hex upper X") << "0XfF" << true << 255L;
        QTest::newRow("hex all ones") << "0xFFFFFFFF" << true << -1L;
        QTest::newRow("negative") << "-5" << true << -5L;
        QTest::newRow("word") << "abc" << false << 0L;
        QTest::newRow("trailing junk") << "1x" << false << 0L;
        QTest::newRow("bare 0x") << "0x" << false << 0L;
        QTest::newRow("empty") << "" << false << 0L;
        QTest::newRow("too big") << "99999999999999999999" << false << 0L;
    }
    void integerForms() {
        QFETCH(QString, text);
        QFETCH(bool, valid);
        QFETCH(long, value);
        const auto parsed = vorlano::ParseIniInteger(text.toStdString());
        QCOMPARE(parsed.has_value(), valid);
        if (valid) QCOMPARE(*parsed, value);
    }

    void readsWithWindowsSemantics() {
        QTemporaryDir dir;
        const QString path = dir.filePath("s.ini");
        WriteAll(path,
                 "; comment\r\n[other]\r\nPath=wrong\r\n[ sourcepath ]\r\n  PATH = /snd "
                 "\r\ngarbage line\r\n"
                 "[Settings]\r\nActiveTranslate=0\r\n");
        const TIniFile ini(path.toStdString());
        QCOMPARE(ini.ReadString("SOURCEPATH", "Path", "-"), std::string("/snd"));
        QCOMPARE(ini.ReadBool("SETTINGS", "ActiveTranslate", true), false);
        QCOMPARE(ini.ReadString("SETTINGS", "Missing", "dflt"), std::string("dflt"));
        QCOMPARE(TIniFile(dir.filePath("none.ini").toStdString())
                     .ReadBool("SETTINGS", "ActiveTranslate", true),
                 true);
    }

    void nonIntegerBooleanIsTheDefault() {
        QTemporaryDir dir;
        const QString path = dir.filePath("s.ini");
        WriteAll(path, "[SETTINGS]\nActiveTranslate=abc\n");
        QCOMPARE(TIniFile(path.toStdString()).ReadBool("SETTINGS", "ActiveTranslate", true), true);
    }

    void writeKeepsOtherLines() {
        QTemporaryDir dir;
        const QString path = dir.filePath("s.ini");
        WriteAll(path,
                 "; keep me\n[SETTINGS]\nactivetranslate=abc\nOther=7\n[SOURCEPATH]\nPath=/x\n");
        const TIniFile ini(path.toStdString());
        QVERIFY(ini.WriteBool("Settings", "ActiveTranslate", true));
        QCOMPARE(ReadAll(path),
                 QByteArray("; keep me\r\n[SETTINGS]\r\nActiveTranslate=1\r\nOther=7\r\n"
                            "[SOURCEPATH]\r\nPath=/x\r\n"));
        // A new key joins its section after the section's last key.
        QVERIFY(ini.WriteString("SOURCEPATH", "Extra", "y"));
        QVERIFY(ini.WriteString("SETTINGS", "New", "z"));
        QCOMPARE(ReadAll(path),
                 QByteArray("; keep me\r\n[SETTINGS]\r\nActiveTranslate=1\r\nOther=7\r\nNew=z\r\n"
                            "[SOURCEPATH]\r\nPath=/x\r\nExtra=y\r\n"));
    }

    void writeCreatesFileButNotFolder() {
        QTemporaryDir dir;
        const QString path = dir.filePath("fresh.ini");
        QVERIFY(TIniFile(path.toStdString()).WriteBool("SETTINGS", "ActiveTranslate", true));
        QCOMPARE(ReadAll(path), QByteArray("[SETTINGS]\r\nActiveTranslate=1\r\n"));
        QVERIFY(!TIniFile(dir.filePath("no/such/dir.ini").toStdString())
                     .WriteBool("SETTINGS", "A", true));
    }

    void malformedBytesAreTolerated() {
        QTemporaryDir dir;
        const QString path = dir.filePath("s.ini");
        static const char raw[] = "[SETTINGS\n=\n[]\n\0\0\xff\xfe[SETTINGS]\nActiveTranslate\n";
        QByteArray junk(raw, sizeof(raw) - 1);
        junk += QByteArray(100000, 'x') + "\n[SETTINGS]\nActiveTranslate=0x0\n";
        WriteAll(path, junk);
        const TIniFile ini(path.toStdString());
        QCOMPARE(ini.ReadBool("SETTINGS", "ActiveTranslate", true), false);
        QVERIFY(ini.WriteBool("SETTINGS", "ActiveTranslate", true));
        QCOMPARE(ini.ReadBool("SETTINGS", "ActiveTranslate", false), true);
        QVERIFY(ReadAll(path).contains(QByteArray(100000, 'x')));
    }
};

VORLANO_REGISTER_TEST(TSettingsFileTest)
#include "settings_file_test.moc"
