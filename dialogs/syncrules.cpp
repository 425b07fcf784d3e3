#include "syncrules.h"

#include "dialogs/interfacelistentry.h"
#include "model/identifiers.h"
#include "model/light.h"
#include "protocol/lightscanbook.h"

#include <QRegularExpression>

#include <algorithm>

namespace SyncRules {

QString interfaceKey(const QString &ipAddress, quint64 serial, bool byAddress)
{
    return byAddress ? ipAddress : QString::number(serial);
}

quint64 lightKey(int dmxChannel, quint64 serial, bool byAddress)
{
    return byAddress ? quint64(dmxChannel) : serial;
}

bool getsFixedSerial(const QString &supplyModel)
{
    static const QRegularExpression models(QStringLiteral("TQ52hx|TQ410|RM-90hx|LV-220"));
    return models.match(supplyModel).hasMatch();
}

bool hasChainedAddresses(const QString &interfaceModel)
{
    return interfaceModel.contains(QLatin1String("Trevan Compact"));
}

QByteArray macBytes(const QString &text)
{
    QByteArray bytes(6, '\0');
    const QStringList parts = text.split(QLatin1Char(':'));
    for (int i = 0; i < bytes.size() && i < parts.size(); ++i)
        bytes[i] = char(parts.at(i).toUInt(nullptr, 16) & 0xFF);
    return bytes;
}

int extraCells(const QString &cellCount, const QString &pixelCount)
{
    const int cells = cellCount.toInt();
    if (cells < 1)
        return 0;
    const int pixels = pixelCount.isEmpty() ? 1 : pixelCount.toInt();
    return std::max(0, pixels / cells - 1);
}

QSet<quint64> conflictingLights(const QList<ChannelSpan> &lights)
{
    QSet<quint64> conflicts;
    QHash<QPair<int, int>, quint64> occupied;
    for (const ChannelSpan &light : lights) {
        for (int ch = light.start; ch < light.start + light.footprint; ++ch) {
            const QPair<int, int> at(light.port, ch);
            const auto it = occupied.constFind(at);
            if (it != occupied.cend() && *it != light.uid) {
                conflicts.insert(*it);
                conflicts.insert(light.uid);
            }
            occupied.insert(at, light.uid);
        }
    }
    return conflicts;
}

QString conflictReport(const QList<ConflictEntry> &entries)
{
    QString text;
    for (const ConflictEntry &entry : entries) {
        text += entry.interfaceName + QStringLiteral(" : ") + QLatin1Char('\n');
        for (const QString &name : entry.lightNames)
            text += QStringLiteral("    ") + name + QLatin1Char('\n');
        text += QLatin1Char('\n');
    }
    return text;
}

bool isAskedBySync(int interfaceType)
{
    return interfaceType == 2;
}

QString unreportedLightText(const QString &interfaceName, int port, quint64 serial,
                            const QString &lightName)
{
    return unreadLightText(interfaceName, port, serial) + QStringLiteral(", ") + lightName;
}

QString movedLightText(const QString &lightText, const QList<Address> &answeredAt)
{
    QStringList places;
    for (const Address &at : answeredAt) {
        places << QStringLiteral("port %1 at DMX address %2")
                      .arg(at.port + 1, 2, 10, QLatin1Char('0'))
                      .arg(at.channel + 1);
    }
    return lightText + QStringLiteral(": answered on ") + places.join(QStringLiteral("; "));
}

QString shadowedInterfaceText(const QString &name, bool byAddress)
{
    return QStringLiteral("%1 (another has the same %2)")
        .arg(name, byAddress ? QStringLiteral("IPv4 address") : QStringLiteral("serial number"));
}

QString contestedInterfaceText(const QString &name, quint64 serial, const QStringList &addresses)
{
    return QStringLiteral("%1 (serial %2 answered from %3)")
        .arg(name, uidToColonString(serial), joinedWithAnd(addresses));
}

QString claimedInterfaceText(const QString &name, quint64 serial, const QStringList &others)
{
    return QStringLiteral("%1 (serial %2 also answered from %3)")
        .arg(name, uidToColonString(serial), joinedWithAnd(others));
}

QString reportHeading(const SyncGaps &gaps)
{
    return gaps.isEmpty() ? QString()
                          : QStringLiteral("The network sync did not reach everything :");
}

namespace {

QString section(const QString &title, const QStringList &lines)
{
    if (lines.isEmpty())
        return QString();
    QString text = title + QLatin1Char('\n');
    for (const QString &line : lines)
        text += QStringLiteral("    ") + line + QLatin1Char('\n');
    return text + QLatin1Char('\n');
}

} // namespace

QSize reportBoxSize(const QSize &form, const QSize &needed, const QSize &available)
{
    return form.expandedTo(needed).boundedTo(available);
}

QString uncountedPortText(const QString &interfaceName, int port, CountAnswers::Doubt doubt)
{
    QString why;
    switch (doubt) {
    case CountAnswers::Doubt::Disagreed:
        why = QStringLiteral("its answers did not agree");
        break;
    case CountAnswers::Doubt::TooManyLights:
        why = QStringLiteral("more than %1 lights").arg(LightScanBook::MaxLightsPerPort);
        break;
    case CountAnswers::Doubt::Unanswered:
        why = QStringLiteral("the interface stopped answering");
        break;
    case CountAnswers::Doubt::Endless:
        why = QStringLiteral("its answers never went quiet");
        break;
    }
    return QStringLiteral("%1 port %2 (%3)").arg(interfaceName).arg(port + 1).arg(why);
}

QString syncReport(const SyncGaps &gaps, const QList<ConflictEntry> &conflicts)
{
    QString text =
        section(QStringLiteral("Lights whose data could not be read :"), gaps.unreadLights) +
        section(QStringLiteral("Lights that no scan reported :"), gaps.unreportedLights) +
        section(QStringLiteral("Lights that answered elsewhere :"), gaps.movedLights) +
        section(QStringLiteral("Ports whose lights could not be counted, left as they were :"),
                gaps.uncountedPorts) +
        section(QStringLiteral("Interfaces that did not answer :"), gaps.silentInterfaces) +
        section(QStringLiteral("Interfaces left unmatched :"), gaps.unmatchedInterfaces) +
        section(QStringLiteral("Interfaces whose serial number also answered elsewhere :"),
                gaps.claimedInterfaces);
    if (!conflicts.isEmpty() && !text.isEmpty())
        text += QStringLiteral("Lights with conflicting DMX addresses :\n");
    return text + conflictReport(conflicts);
}

} // namespace SyncRules

void SyncLightIndex::add(quint64 interfaceUid, int port, Light *light)
{
    if (!light)
        return;
    QList<QPointer<Light>> &lights =
        m_slots[Slot(interfaceUid, port)]
               [SyncRules::lightKey(light->dmxChannel(), light->serialNumber(), m_byAddress)];
    if (m_byAddress && !lights.isEmpty())
        return;
    lights.append(light);
}

QList<QPointer<Light>> *SyncLightIndex::lightsAt(quint64 interfaceUid, int port, quint64 key)
{
    const auto slot = m_slots.find(Slot(interfaceUid, port));
    if (slot == m_slots.end())
        return nullptr;
    const auto lights = slot->find(key);
    return lights == slot->end() ? nullptr : &*lights;
}

Light *SyncLightIndex::first(quint64 interfaceUid, int port, quint64 key) const
{
    const Keys keys = m_slots.value(Slot(interfaceUid, port));
    for (const QPointer<Light> &light : keys.value(key)) {
        if (light)
            return light;
    }
    return nullptr;
}

Light *SyncLightIndex::takeFirst(quint64 interfaceUid, int port, quint64 key)
{
    QList<QPointer<Light>> *lights = lightsAt(interfaceUid, port, key);
    Light *found = nullptr;
    while (lights && !lights->isEmpty() && !found)
        found = lights->takeFirst();
    if (lights && lights->isEmpty())
        removeKey(interfaceUid, port, key);
    return found;
}

void SyncLightIndex::removeKey(quint64 interfaceUid, int port, quint64 key)
{
    const auto slot = m_slots.find(Slot(interfaceUid, port));
    if (slot == m_slots.end())
        return;
    slot->remove(key);
    if (slot->isEmpty())
        m_slots.erase(slot);
}

QList<Light *> SyncLightIndex::waiting(quint64 interfaceUid) const
{
    QList<Light *> lights;
    for (auto slot = m_slots.cbegin(); slot != m_slots.cend(); ++slot) {
        if (slot.key().first != interfaceUid)
            continue;
        for (const QList<QPointer<Light>> &filed : slot.value()) {
            for (const QPointer<Light> &light : filed) {
                if (light)
                    lights.append(light);
            }
        }
    }
    std::sort(lights.begin(), lights.end(), [](const Light *a, const Light *b) {
        return a->port() != b->port() ? a->port() < b->port() : a->dmxChannel() < b->dmxChannel();
    });
    return lights;
}

QList<QPair<Light *, int>> SyncLightIndex::takeCells(quint64 interfaceUid, int port, quint64 key,
                                                     int start, int footprint, quint64 serial,
                                                     int cells)
{
    QList<QPair<Light *, int>> taken;
    if (!m_byAddress) {
        // The first light under the serial is the device's first cell; the rest follow it.
        QList<QPointer<Light>> *lights = lightsAt(interfaceUid, port, key);
        for (int k = 1; lights && k <= cells && lights->size() > k; ++k) {
            if (Light *light = lights->at(k))
                taken.append({light, k});
        }
        return taken;
    }
    for (int k = 1; footprint > 0 && k <= cells; ++k) {
        const quint64 cellKey = quint64(start + k * footprint);
        Light *light = first(interfaceUid, port, cellKey);
        if (!light)
            continue;
        if (light->serialNumber() != serial)
            break;
        taken.append({light, k});
        removeKey(interfaceUid, port, cellKey);
    }
    return taken;
}
