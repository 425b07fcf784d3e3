#include <QNetworkInterface>
#include <QTest>

// Guards the rule that tests never reach a real network: only loopback may be up.
class TstSmoke : public QObject
{
    Q_OBJECT
private slots:
    void onlyLoopbackIsUp()
    {
        for (const QNetworkInterface &iface : QNetworkInterface::allInterfaces()) {
            if (iface.flags().testFlag(QNetworkInterface::IsUp))
                QVERIFY2(iface.flags().testFlag(QNetworkInterface::IsLoopBack),
                         qPrintable(iface.name()));
        }
    }
};

QTEST_GUILESS_MAIN(TstSmoke)
#include "tst_smoke.moc"
