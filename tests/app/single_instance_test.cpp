#include "app/single_instance.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include "tests/app/app_test_registry.h"

using vorlano::TSingleInstance;

namespace {

QString MakeExecutable(const QTemporaryDir& dir, const QString& folder) {
    QDir(dir.path()).mkpath(folder);
    const QString path = dir.filePath(folder + "/vorlano");
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    return path;
}

}  // namespace

class TSingleInstanceTest : public QObject {
    Q_OBJECT
  private slots:
    void secondStartOfSameFileHandsOver() {
        QTemporaryDir dir;
        const QString exe = MakeExecutable(dir, "a");
        TSingleInstance first(exe);
        QVERIFY(first.Claim());
        QSignalSpy restore(&first, &TSingleInstance::restoreRequested);
        TSingleInstance second(exe);
        QVERIFY(!second.Claim());
        QVERIFY(restore.wait(2000));
    }

    void copyInAnotherFolderRunsOnItsOwn() {
        QTemporaryDir dir;
        TSingleInstance first(MakeExecutable(dir, "a"));
        QVERIFY(first.Claim());
        TSingleInstance copy(MakeExecutable(dir, "b"));
        QVERIFY(copy.Claim());
        QVERIFY(TSingleInstance::KeyFor(dir.filePath("a/vorlano")) !=
                TSingleInstance::KeyFor(dir.filePath("b/vorlano")));
    }

    void endedInstanceFreesThePlace() {
        QTemporaryDir dir;
        const QString exe = MakeExecutable(dir, "a");
        {
            TSingleInstance first(exe);
            QVERIFY(first.Claim());
        }
        TSingleInstance next(exe);
        QVERIFY(next.Claim());
    }
};

VORLANO_REGISTER_TEST(TSingleInstanceTest)
#include "single_instance_test.moc"
