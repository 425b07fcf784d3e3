#ifndef NETWORKSETTINGS_H
#define NETWORKSETTINGS_H

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QNetworkAddressEntry>
#include <QString>

// The process-wide network settings of the protocol code: every port, target address and interval
// that the protocol objects use. They hold the product's defaults; tests point them at
// 127.0.0.x before they build any protocol object, so that nothing ever leaves loopback.
// Read once per use (not cached by the protocol objects), so a change applies to objects
// built afterwards and to every later send.
class NetworkSettings
{
public:
    // One network interface as the broadcast rule sees it; built from the machine's
    // interfaces by systemInterfaces(), or by hand in tests.
    struct InterfaceInfo
    {
        QString humanReadableName;
        bool up = false;
        bool loopback = false;
        QList<QNetworkAddressEntry> addresses;
    };

    // What the broadcast rule found: when found, the socket's new local address and its
    // directed broadcast address.
    struct BroadcastRoute
    {
        bool found = false;
        QHostAddress local;
        QHostAddress broadcast;
    };

    static NetworkSettings &instance();

    // Orvex (UDP): every datagram goes to this port, and the sockets bind IPv4 only.
    quint16 orvexPort = 6038;
    QHostAddress bindAddress = QHostAddress(QHostAddress::AnyIPv4);
    quint16 bindPort = 0;
    // When set, every Orvex broadcast goes here instead of where the broadcast rule says.
    QHostAddress broadcastOverride;
    int socketDisconnectWaitMs = 30000;

    // Discovery engine.
    QByteArray discoverCarriedAddress = "10.1.1.222";
    int discoveryRetryMs = 500;
    // A read whose request goes unanswered this many retries in a row ends as failed. At the
    // retry interval above, an interface that answers as late as 1.5 s is still read: the
    // answer to the first try counts for the read until it moves on.
    int lightReadMaxRetries = 6;
    int rdmPauseMs = 7;
    // The discover broadcast, each port request and each light scan go out this many times in
    // all, this far apart (a port request only until it is answered), so that one lost
    // datagram loses no interface and no light; the replies to the copies are merged. The
    // last copy leaves well inside the shortest window that waits on the replies (the
    // network sync's interface window).
    int requestSends = 5;
    int requestRepeatMs = 300;
    // Fixture counts (CountRounds): once a scan's answer holds counts, the request is asked
    // again one round at a time.
    // A device may leave up to a second between the datagrams of one answer.
    int countQuietMs = 1500;
    // Devices answer up to 8 s late.
    int countAnswerWaitMs = 9000;
    // One honest answer is over within this; longer, it is a stream.
    int countRoundMs = 30000;
    // A device sends the rest of an answer back to back: a round that repeats the last answer
    // so far and then brings more within this was not whole yet.
    int countSettleMs = 300;
    // The whole gathering, so that the lights page is complete within a minute of the pick,
    // however late the first answer came.
    int countGatherMs = 50000;
    // More rounds cannot settle a link that noisy within the gathering's time anyway.
    int countMaxRounds = 30;

    // Lights discovery wizard: a light scan ends once no report has come for this long (the
    // longer wait for an interface whose ports are all of type 3).
    int lightScanQuietMs = 6000;
    int lightScanQuietType3Ms = 8000;
    // Network sync: how long interfaces may take to answer, how long each interface's light
    // scan runs, and the pause before its lights are read.
    int syncControllerWindowMs = 3000;
    int syncLightWindowMs = 20000;
    int syncReadPauseMs = 1500;

    // Controller-pause link.
    quint16 pauseAnnouncementPort = 6775;
    quint16 pauseReplyPort = 8081;
    int pauseReplyWindowMs = 5000;
    int pauseRepeatMs = 15000;
    int pauseConnectWaitMs = 1000;
    // When set, the announcement goes only here instead of to every interface's broadcast
    // address.
    QHostAddress pauseAnnouncementOverride;

    // Puts every value back to the product's default.
    void restoreDefaults();

    // The broadcast rule: among the up, non-loopback interfaces, the last one named exactly
    // "eth0" gives the route from its first IPv4 address entry (address OR inverse netmask).
    static BroadcastRoute broadcastRoute(const QList<InterfaceInfo> &interfaces);
    // The entry's subnet broadcast address: its address OR the inverse of its netmask.
    static QHostAddress directedBroadcast(const QNetworkAddressEntry &entry);
    static QList<InterfaceInfo> systemInterfaces();

private:
    NetworkSettings() = default;
};

#endif // NETWORKSETTINGS_H
