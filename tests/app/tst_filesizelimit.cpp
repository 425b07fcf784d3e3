// A save under a file-size limit must fail like any other failed save, not end the program.
#include "support/apptestsupport.h"

#include "app/metatool.h"
#include "app/processsignals.h"
#include "model/light.h"
#include "model/mapmodel.h"

#include <QAction>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/resource.h>

class TestFileSizeLimit : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { isolateTestEnvironment(); }
    void saveBeyondTheLimitFailsAndKeepsTheMap();
};

void TestFileSizeLimit::saveBeyondTheLimitFailsAndKeepsTheMap()
{
    ProcessSignals::ignoreFileSizeLimitSignal();
    QTemporaryDir dir;
    ScriptedPrompt prompt;
    MetaTool w;
    DataSupply *ds = addInterface(w.mapModel(), "Interface", QHostAddress("127.0.0.9"), 1);
    for (int i = 0; i < 20; ++i)
        addLight(w.mapModel(), ds, QString("Light %1").arg(i), 0, 3 * i, QPointF(10 * i, 0));
    w.setDirty(true);

    rlimit previous{};
    QCOMPARE(getrlimit(RLIMIT_FSIZE, &previous), 0);
    rlimit small = previous;
    small.rlim_cur = 512;
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
    prompt.fileNames << dir.filePath("big");
    w.findChild<QAction *>("saveMapAsAction")->trigger();
    setrlimit(RLIMIT_FSIZE, &previous);

    QCOMPARE(prompt.titles.last(), QString("Save Failed"));
    QVERIFY(w.getDirty());
    QCOMPARE(w.mapModel()->lights().size(), 20);
    QVERIFY(!QFile::exists(dir.filePath("big.map")));
}

QTEST_MAIN(TestFileSizeLimit)
#include "tst_filesizelimit.moc"
