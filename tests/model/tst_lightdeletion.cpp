// Deleting lights one by one while frames run: the frame order and the interfaces' resolved
// lights are struck or resolved again only where a light left, and must always equal what a
// fresh rebuild from the map would give. Random runs from fixed seeds, a failure shrunk to the
// few steps that still show it.

#include "model/datasupply.h"
#include "model/light.h"
#include "model/mapmodel.h"

#include <QRandomGenerator>
#include <QTest>

#include <algorithm>
#include <functional>
#include <vector>

namespace {

constexpr int Interfaces = 3;
constexpr quint64 FirstInterfaceUid = 0x100;
constexpr quint64 FirstLightUid = 0x10000;

struct Step
{
    enum Kind { Add, List, Delete, Frame, Clear } kind;
    int light = 0;    // which light, by its number in the run
    int listedOn = 0; // the interface whose list names it
    int ownedBy = 0;  // the interface the light names; differs now and then
    int port = 0;
    int channel = 0;
    bool listed = true; // whether adding the light also lists it on its interface
};

QString describe(const Step &step)
{
    switch (step.kind) {
    case Step::Add:
        return QStringLiteral("add %1 %2 on %3 owned by %4 port %5 channel %6")
            .arg(step.light)
            .arg(step.listed ? "listed" : "not listed")
            .arg(step.listedOn)
            .arg(step.ownedBy)
            .arg(step.port)
            .arg(step.channel);
    case Step::List:
        return QStringLiteral("list %1 on %2").arg(step.light).arg(step.listedOn);
    case Step::Delete:
        return QStringLiteral("delete %1").arg(step.light);
    case Step::Frame:
        return QStringLiteral("frame");
    case Step::Clear:
        return QStringLiteral("clear");
    }
    return QString();
}

std::vector<Step> randomSteps(quint32 seed, int count)
{
    QRandomGenerator random(seed);
    std::vector<Step> steps;
    int made = 0;
    for (int i = 0; i < count; ++i) {
        Step step{};
        const int roll = random.bounded(100);
        if (roll < 40 || made == 0) {
            step.kind = Step::Add;
            step.light = made++;
            step.listedOn = random.bounded(Interfaces);
            step.ownedBy = random.bounded(10) == 0 ? random.bounded(Interfaces) : step.listedOn;
            step.port = random.bounded(2);
            step.channel = random.bounded(500);
            step.listed = random.bounded(8) != 0;
        } else if (roll < 45) {
            // Lists a light ahead of its arrival, or one that is there already.
            step.kind = Step::List;
            step.light = random.bounded(made + 2);
            step.listedOn = random.bounded(Interfaces);
        } else if (roll < 80) {
            // Now and then a light that is already gone, or was never made.
            step.kind = Step::Delete;
            step.light = random.bounded(made + 1);
        } else if (roll < 99) {
            step.kind = Step::Frame;
        } else {
            step.kind = Step::Clear;
        }
        steps.push_back(step);
    }
    return steps;
}

std::vector<MapModel::FrameOrderEntry> plainFrameOrder(const MapModel &map)
{
    std::vector<MapModel::FrameOrderEntry> order;
    const QHash<quint64, Light *> lights = map.lights();
    for (auto it = lights.cbegin(); it != lights.cend(); ++it)
        order.push_back({it.value()->frameState(), it.key()});
    std::sort(order.begin(), order.end(), [](const auto &a, const auto &b) {
        return std::less<const LightFrameState *>()(a.state, b.state);
    });
    return order;
}

int plainLastChannelOnPort(const DataSupply *dataSupply, quint8 port)
{
    int last = -1;
    for (Light *light : dataSupply->lightObjects()) {
        if (light->port() == port)
            last = std::max(last, int(light->lastChannel()));
    }
    return last;
}

// Plays the steps on a fresh map; the text of the first frame whose lists differ from a plain
// rebuild, empty when none does.
QString play(const std::vector<Step> &steps)
{
    MapModel map;
    QList<DataSupply *> interfaces;
    auto addInterfaces = [&] {
        interfaces.clear();
        for (int i = 0; i < Interfaces; ++i) {
            DataSupply *dataSupply = map.createDataSupply(2);
            dataSupply->setUid(FirstInterfaceUid + quint64(i));
            dataSupply->setIpAddressText(QStringLiteral("127.0.0.%1").arg(i + 2));
            dataSupply->setProtocolVersion(2);
            dataSupply->setPortCount(2);
            map.addDataSupply(dataSupply);
            interfaces << dataSupply;
        }
    };
    addInterfaces();
    for (size_t i = 0; i < steps.size(); ++i) {
        const Step &step = steps[i];
        const quint64 uid = FirstLightUid + quint64(step.light);
        switch (step.kind) {
        case Step::Add: {
            if (map.light(uid))
                break;
            auto *light = new Light();
            light->setUid(uid);
            light->setDataSupplyUid(interfaces.at(step.ownedBy)->uid());
            light->setPort(quint8(step.port));
            light->setDmxChannel(step.channel);
            if (step.listed)
                interfaces.at(step.listedOn)->addLight(uid);
            map.addLight(light);
            break;
        }
        case Step::List:
            interfaces.at(step.listedOn)->addLight(uid);
            break;
        case Step::Delete:
            map.deleteLight(uid);
            break;
        case Step::Clear:
            map.clearMap();
            addInterfaces();
            break;
        case Step::Frame: {
            const std::vector<MapModel::FrameOrderEntry> plain = plainFrameOrder(map);
            const std::vector<MapModel::FrameOrderEntry> &kept = map.lightsInFrameOrder();
            const bool same = kept.size() == plain.size() &&
                              std::equal(kept.begin(), kept.end(), plain.begin(),
                                         [](const auto &a, const auto &b) {
                                             return a.state == b.state && a.uid == b.uid;
                                         });
            if (!same)
                return QStringLiteral("frame order differs at step %1").arg(i);
            for (DataSupply *dataSupply : std::as_const(interfaces)) {
                for (quint8 port = 0; port < 2; ++port) {
                    if (dataSupply->lastChannelOnPort(port) !=
                        plainLastChannelOnPort(dataSupply, port))
                        return QStringLiteral("interface %1 port %2 differs at step %3")
                            .arg(dataSupply->uid())
                            .arg(port)
                            .arg(i);
                }
            }
            map.updateLights();
            break;
        }
        }
    }
    return QString();
}

// Drops steps one at a time for as long as the run still fails.
std::vector<Step> shrink(std::vector<Step> steps)
{
    bool dropped = true;
    while (dropped) {
        dropped = false;
        for (size_t i = 0; i < steps.size(); ++i) {
            std::vector<Step> fewer = steps;
            fewer.erase(fewer.begin() + std::ptrdiff_t(i));
            if (!play(fewer).isEmpty()) {
                steps = fewer;
                dropped = true;
                break;
            }
        }
    }
    return steps;
}

} // namespace

class TestLightDeletion : public QObject
{
    Q_OBJECT

private slots:
    void listsFollowDeletions_data();
    void listsFollowDeletions();
};

void TestLightDeletion::listsFollowDeletions_data()
{
    QTest::addColumn<quint32>("seed");
    for (quint32 seed = 1; seed <= 40; ++seed)
        QTest::addRow("seed %u", seed) << seed;
}

void TestLightDeletion::listsFollowDeletions()
{
    QFETCH(quint32, seed);
    const std::vector<Step> steps = randomSteps(seed, 300);
    const QString failure = play(steps);
    if (failure.isEmpty())
        return;
    const std::vector<Step> few = shrink(steps);
    QStringList lines;
    for (const Step &step : few)
        lines << describe(step);
    QFAIL(qPrintable(failure + QStringLiteral("; shrunk to: ") + lines.join(QStringLiteral("; "))));
}

QTEST_MAIN(TestLightDeletion)
#include "tst_lightdeletion.moc"
