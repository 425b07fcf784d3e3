#include "dialogs/syncrules.h"
#include "model/light.h"

#include <QtTest>

#include <memory>
#include <vector>

using SyncRules::ChannelSpan;

class TestSyncRules : public QObject
{
    Q_OBJECT
private slots:
    void names_data();
    void names();
    void keysAndModels();
    void conflicts_data();
    void conflicts();
    void indexMatching();
    void cells_data();
    void cells();

private:
    Light *light(int channel, quint64 serial)
    {
        m_lights.push_back(std::make_unique<Light>());
        m_lights.back()->setDmxChannel(channel);
        m_lights.back()->setSerialNumber(serial);
        return m_lights.back().get();
    }
    std::vector<std::unique_ptr<Light>> m_lights;
};

void TestSyncRules::names_data()
{
    QTest::addColumn<QString>("interface");
    QTest::addColumn<QString>("model");
    QTest::addColumn<int>("port");
    QTest::addColumn<int>("number");
    QTest::addColumn<QString>("name");
    QTest::newRow("model") << "Lobby"
                           << "Generic 3-Ch" << 0 << 0 << "Lobby Generic 3-Ch Light 01-001";
    QTest::newRow("no model") << "Lobby"
                              << "" << 2 << 41 << "Lobby Light 03-042";
    QTest::newRow("no interface name") << ""
                                       << "" << 0 << 0 << " Light 01-001";
    QTest::newRow("wide numbers") << "A"
                                  << "" << 99 << 1233 << "A Light 100-1234";
}

void TestSyncRules::names()
{
    QFETCH(QString, interface);
    QFETCH(QString, model);
    QFETCH(int, port);
    QFETCH(int, number);
    QFETCH(QString, name);
    QCOMPARE(SyncRules::lightName(interface, model, port, quint32(number)), name);
}

void TestSyncRules::keysAndModels()
{
    QCOMPARE(SyncRules::interfaceKey("10.0.0.7", 0x00A50001, true), QString("10.0.0.7"));
    QCOMPARE(SyncRules::interfaceKey("10.0.0.7", 0x00A50001, false), QString("10813441"));
    QCOMPARE(SyncRules::lightKey(12, 0x70140001, true), quint64(12));
    QCOMPARE(SyncRules::lightKey(12, 0x70140001, false), quint64(0x70140001));

    QVERIFY(SyncRules::getsFixedSerial("PDS-TQ410"));
    QVERIFY(SyncRules::getsFixedSerial("LV-220 Low Voltage Supply"));
    QVERIFY(!SyncRules::getsFixedSerial("PDS-tq410"));
    QVERIFY(!SyncRules::getsFixedSerial("Unknown Device"));
    QVERIFY(SyncRules::hasChainedAddresses("Trevan Compact 24"));
    QVERIFY(!SyncRules::hasChainedAddresses("Trevan Keltrane Node"));

    QCOMPARE(SyncRules::macBytes("00:A0:b1:C2:D3:E4"), QByteArray::fromHex("00A0B1C2D3E4"));
    QCOMPARE(SyncRules::macBytes("zz:01"), QByteArray::fromHex("000100000000"));

    QCOMPARE(SyncRules::extraCells("", ""), 0);
    QCOMPARE(SyncRules::extraCells("4", ""), 0);
    QCOMPARE(SyncRules::extraCells("4", "16"), 3);
    QCOMPARE(SyncRules::extraCells("0", "16"), 0);
}

void TestSyncRules::conflicts_data()
{
    QTest::addColumn<QList<ChannelSpan>>("spans");
    QTest::addColumn<QList<quint64>>("conflicting");
    QTest::newRow("overlap") << QList<ChannelSpan>{{1, 0, 0, 3}, {2, 0, 2, 3}}
                             << QList<quint64>{1, 2};
    QTest::newRow("adjacent") << QList<ChannelSpan>{{1, 0, 0, 3}, {2, 0, 3, 3}} << QList<quint64>{};
    QTest::newRow("other port") << QList<ChannelSpan>{{1, 0, 0, 3}, {2, 1, 0, 3}}
                                << QList<quint64>{};
    // The channel is the newer light's: a third light meets the second, not the first.
    QTest::newRow("chain") << QList<ChannelSpan>{{1, 0, 0, 3}, {2, 0, 0, 3}, {3, 0, 2, 1}}
                           << QList<quint64>{1, 2, 3};
    QTest::newRow("no footprint") << QList<ChannelSpan>{{1, 0, 0, 3}, {2, 0, 1, 0}}
                                  << QList<quint64>{};
}

void TestSyncRules::conflicts()
{
    QFETCH(QList<ChannelSpan>, spans);
    QFETCH(QList<quint64>, conflicting);
    QCOMPARE(SyncRules::conflictingLights(spans),
             QSet<quint64>(conflicting.cbegin(), conflicting.cend()));
    QCOMPARE(SyncRules::conflictReport({{"North", {"A", "B"}}, {"South", {"C"}}}),
             QString("North : \n    A\n    B\n\nSouth : \n    C\n\n"));
}

void TestSyncRules::indexMatching()
{
    // By address the first light of a key wins; by serial every light is kept, in order.
    SyncLightIndex byAddress(true);
    Light *a = light(10, 1);
    byAddress.add(7, 0, a);
    byAddress.add(7, 0, light(10, 2));
    QCOMPARE(byAddress.takeFirst(7, 1, 10), nullptr);
    QCOMPARE(byAddress.takeFirst(7, 0, 10), a);
    QCOMPARE(byAddress.takeFirst(7, 0, 10), nullptr);
    QVERIFY(byAddress.isEmpty());

    SyncLightIndex bySerial(false);
    Light *b = light(0, 5);
    Light *c = light(3, 5);
    bySerial.add(7, 0, b);
    bySerial.add(7, 0, c);
    QCOMPARE(bySerial.takeFirst(7, 0, 5), b);
    QCOMPARE(bySerial.takeFirst(7, 0, 5), c);
    QVERIFY(bySerial.isEmpty());
}

void TestSyncRules::cells_data()
{
    QTest::addColumn<bool>("byAddress");
    QTest::addColumn<QList<int>>("channels"); // map lights, serial 9 unless negative (serial 8)
    QTest::addColumn<QList<int>>("taken");    // k of each cell taken
    QTest::newRow("address, all cells") << true << QList<int>{0, 3, 6, 9} << QList<int>{1, 2, 3};
    QTest::newRow("address, gap skipped") << true << QList<int>{0, 6} << QList<int>{2};
    QTest::newRow("address, other serial stops") << true << QList<int>{0, -3, 6} << QList<int>{};
    QTest::newRow("serial, in turn") << false << QList<int>{0, 40, 80} << QList<int>{1, 2};
    QTest::newRow("serial, more than cells")
        << false << QList<int>{0, 1, 2, 3, 4} << QList<int>{1, 2, 3};
}

void TestSyncRules::cells()
{
    QFETCH(bool, byAddress);
    QFETCH(QList<int>, channels);
    QFETCH(QList<int>, taken);
    SyncLightIndex index(byAddress);
    for (const int channel : std::as_const(channels))
        index.add(1, 0, light(std::abs(channel), channel < 0 ? 8 : 9));
    const quint64 key = byAddress ? 0 : 9;
    QList<int> ks;
    for (const auto &cell : index.takeCells(1, 0, key, 0, 3, 9, 3)) {
        QCOMPARE(cell.first->serialNumber(), quint64(9));
        ks << cell.second;
    }
    QCOMPARE(ks, taken);
}

QTEST_GUILESS_MAIN(TestSyncRules)
#include "tst_syncrules.moc"
