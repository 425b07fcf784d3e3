#include "support/apptestsupport.h"

#include "app/splashscreen.h"

#include <QDate>
#include <QFontMetrics>
#include <QRegularExpression>
#include <QtTest>

int qInitResources_Images();

class TestSplashScreen : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        isolateTestEnvironment();
        qInitResources_Images();
    }
    void versionAndRightsLines();
    void paintsOnlyTheTwoLines();
    void closesItselfAfterItsTimer();
};

void TestSplashScreen::versionAndRightsLines()
{
    const QString version = SplashScreen::versionText();
    QVERIFY2(
        QRegularExpression("^Version: 2\\.3\\.4 20250115-[0-9a-f]{40}$").match(version).hasMatch(),
        qPrintable(version));
    const QString rights = SplashScreen::rightsText();
    QVERIFY(rights.contains(QChar(0x00A9)));
    QVERIFY(rights.contains(QString::number(QDate::currentDate().year())));
    // Both lines are drawn centred on the picture and would be cut at its edges when wider.
    const QFontMetrics metrics(QFont("Verdana", 8, 400, false));
    const int width = QPixmap(":/images/splash.png").width();
    QVERIFY2(metrics.horizontalAdvance(version) < width,
             qPrintable(QString("%1 >= %2").arg(metrics.horizontalAdvance(version)).arg(width)));
    QVERIFY(metrics.horizontalAdvance(rights) < width);
}

void TestSplashScreen::paintsOnlyTheTwoLines()
{
    SplashScreen splash;
    QVERIFY(splash.windowFlags() & Qt::WindowStaysOnTopHint);
    QCOMPARE(splash.message(), QString("none"));
    const QImage picture = QPixmap(":/images/splash.png").toImage();
    QVERIFY(!picture.isNull());
    splash.show();
    const QImage shown = splash.grab().toImage().convertToFormat(picture.format());
    QCOMPARE(shown.size(), picture.size());
    // The stored message would stand at the top left; that band is the bare picture.
    QCOMPARE(shown.copy(0, 0, picture.width(), 40), picture.copy(0, 0, picture.width(), 40));
    // The text lines sit at the bottom and are white.
    bool white = false;
    for (int y = picture.height() - 60; y < picture.height() && !white; ++y)
        for (int x = 0; x < picture.width() && !white; ++x)
            white = qGray(shown.pixel(x, y)) > 200;
    QVERIFY(white);
}

void TestSplashScreen::closesItselfAfterItsTimer()
{
    SplashScreen splash;
    splash.show();
    splash.scheduleKill();
    QTest::qWait(1000);
    QVERIFY(splash.isVisible());
    QTRY_VERIFY_WITH_TIMEOUT(!splash.isVisible(), 2000);
}

QTEST_MAIN(TestSplashScreen)
#include "tst_splashscreen.moc"
