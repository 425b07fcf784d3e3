#include "simulatedorvexinterface.h"

#include "devices/devicedictionary.h"
#include "devices/deviceentry.h"
#include "devices/memorymapentry.h"
#include "protocol/networksettings.h"
#include "protocol/orvexdatagrams.h"
#include "support/orvexreplies.h"

#include <QMap>
#include <QTimer>
#include <QtEndian>

using namespace OrvexDatagrams;

namespace {

quint16 codeOf(const QByteArray &datagram)
{
    if (datagram.size() < HeaderSize)
        return 0;
    return qFromLittleEndian<quint16>(datagram.constData() + 6);
}

quint16 replyCode(SimulatedOrvexInterface::DiscoverForm form)
{
    switch (form) {
    case SimulatedOrvexInterface::DiscoverForm::SecondForm:
        return DiscoverEOReply;
    case SimulatedOrvexInterface::DiscoverForm::Version3:
        return DiscoverV3Reply;
    default:
        return DiscoverReply;
    }
}

// Parameters whose value is one byte; every other one is a big-endian u16.
bool isBytePid(quint16 pid)
{
    static const QList<quint16> bytePids = {0x0343, 0x8600, 0x8602, 0x8606, 0x9F02, 0xA040};
    return bytePids.contains(pid);
}

QByteArray bigEndian16(quint32 value)
{
    QByteArray d(2, '\0');
    qToBigEndian<quint16>(quint16(value), d.data());
    return d;
}

// DEVICE_INFO parameter data for a product code "D.mmmm-P.cccc-F.ffff" (model and category
// hexadecimal, footprint decimal).
QByteArray deviceInfoData(const QString &productCode)
{
    const QStringList parts = productCode.split(QLatin1Char('-'));
    const auto field = [&](int i, int base) { return parts.value(i).mid(2).toUInt(nullptr, base); };
    QByteArray d(19, '\0');
    d[0] = 0x01;
    qToBigEndian<quint16>(quint16(field(0, 16)), d.data() + 2);
    qToBigEndian<quint16>(quint16(field(1, 16)), d.data() + 4);
    qToBigEndian<quint16>(quint16(field(2, 10)), d.data() + 10);
    return d;
}

} // namespace

SimulatedOrvexInterface::Light SimulatedOrvexInterface::catalogueLight(
    quint64 serial, quint8 port, const QHash<QString, quint32> &values, const QString &productCode)
{
    Light light{serial, port, {}, {}};
    const DeviceDictionary *catalogue = DeviceDictionary::instance();
    const DeviceEntry *entry = productCode.isEmpty()
                                   ? catalogue->entryForSerial(serial)
                                   : catalogue->entryForSerialAndName(serial, productCode);
    if (!entry)
        return light;
    QStringList tokens = entry->memoryMapTokens();
    // Tokens that share an address: the ones given values win.
    std::stable_partition(tokens.begin(), tokens.end(),
                          [&](const QString &t) { return !values.contains(t); });
    for (const QString &token : std::as_const(tokens)) {
        const MemoryMapEntry *record = entry->findMemoryMapEntry(token);
        const quint32 value = values.value(token, record->defaultValue());
        const QList<quint16> addresses = record->readAddresses();
        if (serial > 0xFFFFFFFFu) {
            if (!addresses.isEmpty())
                light.rdm.insert(addresses.first(), isBytePid(addresses.first())
                                                        ? QByteArray(1, char(value))
                                                        : bigEndian16(value));
            continue;
        }
        for (int i = 0; i < addresses.size(); ++i)
            light.eeprom.insert(addresses[i], quint8(value >> (8 * (addresses.size() - 1 - i))));
    }
    if (serial > 0xFFFFFFFFu) {
        light.rdm.insert(RdmDeviceInfo, deviceInfoData(productCode));
        light.rdm.insert(RdmDeviceModelDescription, entry->deviceName().toLatin1());
    }
    return light;
}

SimulatedOrvexInterface::SimulatedOrvexInterface(const QHostAddress &address, QObject *parent)
    : QObject(parent), m_address(address)
{
    m_socket.bind(address, NetworkSettings::instance().orvexPort);
    connect(&m_socket, &QUdpSocket::readyRead, this, &SimulatedOrvexInterface::readPending);
}

bool SimulatedOrvexInterface::isListening() const
{
    return m_socket.state() == QAbstractSocket::BoundState;
}

QList<QByteArray> SimulatedOrvexInterface::receivedWithCode(quint16 code) const
{
    QList<QByteArray> result;
    for (const Received &r : m_received) {
        if (r.code == code)
            result.append(r.datagram);
    }
    return result;
}

bool SimulatedOrvexInterface::sendRaw(const QByteArray &datagram)
{
    return sendRawTo(datagram, m_peer, m_peerPort);
}

bool SimulatedOrvexInterface::sendRawTo(const QByteArray &datagram, const QHostAddress &to,
                                        quint16 port)
{
    return m_socket.writeDatagram(datagram, to, port) == datagram.size();
}

void SimulatedOrvexInterface::readPending()
{
    forEachPendingDatagram(m_socket,
                           [this](const QByteArray &datagram, const QHostAddress &sender,
                                  quint16 port) { handleDatagram(datagram, sender, port, false); });
}

void SimulatedOrvexInterface::handleDatagram(const QByteArray &datagram, const QHostAddress &sender,
                                             quint16 port, bool broadcast)
{
    const quint16 code = codeOf(datagram);
    if (loses(true, code))
        return;
    m_received.append({code, datagram, sender, port, broadcast});
    m_peer = sender;
    m_peerPort = port;
    m_answering = code;
    if (answering)
        answer(code, datagram);
    emit datagramReceived(code, datagram);
}

const SimulatedOrvexInterface::Light *SimulatedOrvexInterface::findLight(quint64 serial) const
{
    for (const Light &light : lights) {
        if (light.serial == serial)
            return &light;
    }
    return nullptr;
}

void SimulatedOrvexInterface::deliver(const QByteArray &answer)
{
    auto it = faults.find(m_answering);
    if (it == faults.end())
        it = faults.find(0);
    if (it == faults.end()) {
        sendUnlessLost(answer, m_peer, m_peerPort);
        return;
    }
    if (it->drop > 0) {
        --it->drop;
        return;
    }
    const QByteArray d = it->corrupt ? it->corrupt(answer) : answer;
    const QHostAddress to = m_peer;
    const quint16 port = m_peerPort;
    const int copies = it->copies;
    const auto sendAll = [this, d, to, port, copies] {
        for (int i = 0; i < copies; ++i)
            sendUnlessLost(d, to, port);
    };
    if (it->delayMs > 0)
        QTimer::singleShot(it->delayMs, this, sendAll);
    else
        sendAll();
}

void SimulatedOrvexInterface::setLoss(double rate, quint32 seed)
{
    m_lossRate = rate;
    m_lossSeed = seed;
    m_lossStreams.clear();
    m_lost = 0;
}

bool SimulatedOrvexInterface::loses(bool inbound, quint16 code)
{
    if (m_lossRate <= 0.0)
        return false;
    const quint32 stream = (inbound ? 0x10000u : 0u) | code;
    auto it = m_lossStreams.find(stream);
    if (it == m_lossStreams.end()) {
        const quint32 seeds[] = {m_lossSeed, address32(), stream};
        it = m_lossStreams.insert(stream, QRandomGenerator(seeds));
    }
    const bool lost = it->generateDouble() < m_lossRate;
    m_lost += lost;
    return lost;
}

void SimulatedOrvexInterface::sendUnlessLost(const QByteArray &datagram, const QHostAddress &to,
                                             quint16 port)
{
    const quint16 code = codeOf(datagram);
    if (!loses(false, code))
        sendRawTo(datagram, to, port);
    if (!duplicates())
        return;
    ++m_duplicated;
    if (!loses(false, code))
        sendRawTo(datagram, to, port);
}

void SimulatedOrvexInterface::setDuplication(double rate, quint32 seed)
{
    m_duplicationRate = rate;
    m_duplication = QRandomGenerator(seed ^ address32());
    m_duplicated = 0;
}

bool SimulatedOrvexInterface::duplicates()
{
    return m_duplicationRate > 0.0 && m_duplication.generateDouble() < m_duplicationRate;
}

void SimulatedOrvexInterface::answer(quint16 code, const QByteArray &d)
{
    const auto *bytes = reinterpret_cast<const uchar *>(d.constData());
    switch (code) {
    case Discover:
        deliver(OrvexReplies::discoverReply(
            replyCode(identity.form), identity.mac, address32(), identity.serial,
            identity.protocolVersion, identity.universe, identity.versionText, identity.idText));
        break;
    case PortDiscovery: {
        QVector<QPair<quint8, quint8>> list;
        for (const Port &p : ports)
            list.append({p.number, p.type});
        deliver(OrvexReplies::portDiscoveryReply(address32(), list));
        break;
    }
    case BlinkScan:
        for (const Light &light : lights) {
            if (light.serial <= 0xFFFFFFFFu)
                deliver(OrvexReplies::blinkScanReply(address32(), quint32(light.serial)));
        }
        if (caCounts)
            deliver(OrvexReplies::caScanReply(address32(), caCounts->port1, caCounts->port2));
        break;
    case BlinkScan2:
        answerBlinkScan2();
        break;
    case EERead:
        if (d.size() >= 18) {
            const Light *light = findLight(qFromLittleEndian<quint32>(bytes + 12));
            const quint16 address = qFromLittleEndian<quint16>(bytes + 16);
            if (light && !deafLights.contains(light->serial))
                deliver(OrvexReplies::memoryReadReply(EEReadReply, quint32(light->serial), address,
                                                      light->eeprom.value(address)));
        }
        break;
    case GetDeviceVariable:
        if (d.size() >= 14) {
            const quint16 id = qFromLittleEndian<quint16>(bytes + 12);
            if (deviceVariables.contains(id))
                deliver(OrvexReplies::deviceVariableReply(id, deviceVariables.value(id)));
        }
        break;
    case RdmGet:
        if (d.size() >= 35) {
            const quint64 uid = (quint64(qFromBigEndian<quint16>(bytes + 15)) << 32) |
                                qFromBigEndian<quint32>(bytes + 17);
            const quint16 pid = qFromBigEndian<quint16>(bytes + 33);
            const Light *light = findLight(uid);
            if (light && !deafLights.contains(light->serial) && light->rdm.contains(pid))
                deliver(OrvexReplies::rdmGetReply(uid, pid, light->rdm.value(pid)));
        }
        break;
    default:
        break;
    }
}

void SimulatedOrvexInterface::answerBlinkScan2()
{
    if (!blinkScan2Answers.isEmpty()) {
        const int n = int(receivedWithCode(BlinkScan2).size()) - 1;
        for (const QByteArray &datagram : blinkScan2Answers.at(n % blinkScan2Answers.size()))
            deliver(datagram);
        return;
    }
    BlinkScan2Layout layout;
    layout.lights = lights;
    layout.fixtureCounts = fixtureCounts;
    layout.countsReplyPerEntry = countsReplyPerEntry;
    layout.maxReplyBytes = maxReplyBytes;
    layout.rdmUidForm = rdmUidForm;
    layout.moreFlag = moreFlag;
    const QList<QByteArray> answer = blinkScan2Answer(address32(), layout);
    const int n = int(receivedWithCode(BlinkScan2).size()) - 1;
    const int times =
        blinkScan2Times.isEmpty() ? 1 : blinkScan2Times.value(n, blinkScan2Times.last());
    for (int i = 0; i < times; ++i) {
        for (const QByteArray &datagram : answer)
            deliver(datagram);
    }
}

QList<QByteArray> SimulatedOrvexInterface::blinkScan2Answer(quint32 address,
                                                            const BlinkScan2Layout &layout)
{
    const int perEntry = layout.valuesPerEntry;
    QMap<quint8, QVector<quint32>> serials;
    QMap<quint8, QVector<quint64>> uids;
    for (const Light &light : layout.lights) {
        if (light.serial <= 0xFFFFFFFFu)
            serials[light.port].append(quint32(light.serial));
        else
            uids[light.port].append(light.serial);
    }
    // Each datagram as its entry count and entries.
    QList<QPair<quint8, QByteArray>> datagrams;
    const auto pack = [&](const QByteArray &entry, bool alone) {
        const bool fits =
            !datagrams.isEmpty() && datagrams.last().first < 255 &&
            16 + datagrams.last().second.size() + entry.size() <= layout.maxReplyBytes;
        if (alone || !fits)
            datagrams.append({0, QByteArray()});
        ++datagrams.last().first;
        datagrams.last().second += entry;
    };
    const auto addEntries = [&](quint8 port, quint8 type, const QVector<quint32> &values,
                                bool alone) {
        for (int i = 0; i < values.size(); i += perEntry)
            pack(OrvexReplies::blinkScan2Entry(
                     port, type, OrvexReplies::serialPayload(values.mid(i, perEntry))),
                 alone);
    };
    for (auto it = serials.cbegin(); it != serials.cend(); ++it)
        addEntries(it.key(), 1, it.value(), false);
    for (auto it = layout.fixtureCounts.cbegin(); it != layout.fixtureCounts.cend(); ++it)
        addEntries(it.key(), 2, it.value(), layout.countsReplyPerEntry);
    // An RDM entry ends its datagram and holds as many records as the entry count.
    for (auto it = uids.cbegin(); it != uids.cend(); ++it) {
        const QByteArray payload = OrvexReplies::uidPayload(layout.rdmUidForm, it.value());
        datagrams.append(
            {quint8(it.value().size()),
             OrvexReplies::blinkScan2Entry(it.key(), layout.rdmUidForm, QByteArray()) + payload});
    }
    QList<QByteArray> answer;
    for (int i = 0; i < datagrams.size(); ++i) {
        const bool last = i + 1 == datagrams.size();
        quint8 more = 0;
        switch (layout.moreFlag) {
        case MoreFlag::AllButLast:
            more = last ? 0 : 1;
            break;
        case MoreFlag::Never:
            break;
        case MoreFlag::Always:
            more = 1;
            break;
        case MoreFlag::Alternating:
            more = quint8(i % 2);
            break;
        }
        answer.append(OrvexReplies::blinkScan2Reply(address, datagrams.at(i).first,
                                                    datagrams.at(i).second, more));
    }
    return answer;
}
