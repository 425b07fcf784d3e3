#include <QTest>

#include "protocol/ipv4address.h"
#include "protocol/networksettings.h"

namespace {

using Info = NetworkSettings::InterfaceInfo;

QNetworkAddressEntry entry(const char *ip, const char *mask)
{
    QNetworkAddressEntry e;
    e.setIp(QHostAddress(QLatin1String(ip)));
    e.setNetmask(QHostAddress(QLatin1String(mask)));
    return e;
}

Info iface(const char *name, QList<QNetworkAddressEntry> addresses, bool up = true,
           bool loopback = false)
{
    Info info;
    info.humanReadableName = QLatin1String(name);
    info.up = up;
    info.loopback = loopback;
    info.addresses = addresses;
    return info;
}

} // namespace

class TstNetworkSettings : public QObject
{
    Q_OBJECT
private slots:
    void broadcastRule();
    void strictDottedQuad_data();
    void strictDottedQuad();
};

void TstNetworkSettings::broadcastRule()
{
    const auto eth0 = entry("192.168.1.20", "255.255.255.0");
    QVERIFY(!NetworkSettings::broadcastRoute({}).found);
    QVERIFY(!NetworkSettings::broadcastRoute({iface("wlan0", {eth0})}).found);

    const auto route = NetworkSettings::broadcastRoute({iface("eth0", {eth0})});
    QVERIFY(route.found);
    QCOMPARE(route.local, QHostAddress("192.168.1.20"));
    QCOMPARE(route.broadcast, QHostAddress("192.168.1.255"));

    // Down, loopback and differently cased interfaces do not count.
    QVERIFY(!NetworkSettings::broadcastRoute({iface("eth0", {eth0}, false)}).found);
    QVERIFY(!NetworkSettings::broadcastRoute({iface("eth0", {eth0}, true, true)}).found);
    QVERIFY(!NetworkSettings::broadcastRoute({iface("ETH0", {eth0})}).found);

    // The first IPv4 entry is taken, IPv6 entries are passed over, the last "eth0" wins.
    QNetworkAddressEntry v6;
    v6.setIp(QHostAddress("fe80::1"));
    const auto mixed = NetworkSettings::broadcastRoute(
        {iface("eth0", {v6, entry("10.2.0.7", "255.255.0.0"), eth0})});
    QCOMPARE(mixed.broadcast, QHostAddress("10.2.255.255"));
    const auto last = NetworkSettings::broadcastRoute(
        {iface("eth0", {eth0}), iface("eth1", {entry("10.0.0.1", "255.0.0.0")}),
         iface("eth0", {entry("172.16.5.1", "255.255.255.252")})});
    QCOMPARE(last.local, QHostAddress("172.16.5.1"));
    QCOMPARE(last.broadcast, QHostAddress("172.16.5.3"));
}

void TstNetworkSettings::strictDottedQuad_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<quint32>("address");
    QTest::newRow("plain") << QByteArray("10.1.1.222") << true << 0x0A0101DEu;
    QTest::newRow("zeros") << QByteArray("0.0.0.0") << true << 0u;
    QTest::newRow("max") << QByteArray("255.255.255.255") << true << 0xFFFFFFFFu;
    QTest::newRow("three fields") << QByteArray("10.1.1") << false << 0u;
    QTest::newRow("five fields") << QByteArray("1.2.3.4.5") << false << 0u;
    QTest::newRow("octal look") << QByteArray("010.1.1.1") << false << 0u;
    QTest::newRow("over 255") << QByteArray("10.0.0.300") << false << 0u;
    QTest::newRow("four digits") << QByteArray("1000.0.0.1") << false << 0u;
    QTest::newRow("trailing dot") << QByteArray("1.2.3.4.") << false << 0u;
    QTest::newRow("empty field") << QByteArray("1..3.4") << false << 0u;
    QTest::newRow("blank") << QByteArray(" 1.2.3.4") << false << 0u;
    QTest::newRow("sign") << QByteArray("1.2.+3.4") << false << 0u;
    QTest::newRow("hex") << QByteArray("0x1.2.3.4") << false << 0u;
    QTest::newRow("embedded nul") << QByteArray("1.2.3.4\0", 8) << false << 0u;
    QTest::newRow("empty") << QByteArray() << false << 0u;
}

void TstNetworkSettings::strictDottedQuad()
{
    QFETCH(QByteArray, text);
    QFETCH(bool, valid);
    QFETCH(quint32, address);
    quint32 parsed = 0;
    QCOMPARE(parseDottedQuad(text, &parsed), valid);
    if (valid)
        QCOMPARE(parsed, address);
}

QTEST_GUILESS_MAIN(TstNetworkSettings)
#include "tst_networksettings.moc"
