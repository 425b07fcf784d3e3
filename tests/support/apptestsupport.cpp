#include "support/apptestsupport.h"

#include "model/datasupply.h"
#include "model/group.h"
#include "model/light.h"
#include "model/lightpose.h"
#include "model/mapmodel.h"
#include "support/simulatedorvexnetwork.h"

#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>

QMessageBox::StandardButton ScriptedPrompt::question(QWidget *, QMessageBox::Icon,
                                                     const QString &title, const QString &text,
                                                     QMessageBox::StandardButtons,
                                                     QMessageBox::StandardButton defaultButton)
{
    titles << title;
    texts << text;
    defaults << defaultButton;
    return answers.isEmpty() ? QMessageBox::No : answers.takeFirst();
}

void ScriptedPrompt::message(QWidget *, QMessageBox::Icon, const QString &title,
                             const QString &text)
{
    titles << title;
    texts << text;
}

QString ScriptedPrompt::openFileName(QWidget *, const QString &, const QString &, const QString &)
{
    return fileNames.isEmpty() ? QString() : fileNames.takeFirst();
}

QString ScriptedPrompt::saveFileName(QWidget *, const QString &, const QString &, const QString &)
{
    return fileNames.isEmpty() ? QString() : fileNames.takeFirst();
}

int qInitResources_PropertyMap();
int qInitResources_DeviceConfigFiles();
int qInitResources_FixtureProfiles();
int qInitResources_Images();

void isolateTestEnvironment()
{
    static const bool bundlesRegistered =
        qInitResources_PropertyMap() && qInitResources_DeviceConfigFiles() &&
        qInitResources_FixtureProfiles() && qInitResources_Images();
    Q_UNUSED(bundlesRegistered);
    static QTemporaryDir settingsDir;
    QStandardPaths::setTestModeEnabled(true);
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir.path());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settingsDir.path());
    SimulatedOrvexNetwork::useLoopback();
    static ScriptedPrompt unscripted;
}

DataSupply *addInterface(MapModel *map, const QString &name, const QHostAddress &address,
                         int portCount)
{
    DataSupply *ds = map->createDataSupply(2);
    ds->setUid(map->nextUid());
    ds->setName(name);
    ds->setPortCount(quint8(portCount));
    for (int i = 0; i < portCount; ++i)
        ds->setPortNumber(i, quint8(i + 1));
    ds->rebuildPortIndex();
    if (!address.isNull())
        ds->setIpAddress(address);
    if (!map->addDataSupply(ds)) {
        delete ds;
        return nullptr;
    }
    return ds;
}

Light *addLight(MapModel *map, DataSupply *ds, const QString &name, int port, int channel,
                const QPointF &pos)
{
    auto *light = new Light;
    light->setUid(map->nextUid());
    light->setName(name);
    light->setDataSupplyUid(ds ? ds->uid() : 0);
    light->setPort(quint8(port));
    light->setDmxChannel(channel);
    LightPose pose;
    pose.x = pos.x();
    pose.y = pos.y();
    light->setPose(pose);
    if (!map->addLight(light)) {
        delete light;
        return nullptr;
    }
    if (ds)
        ds->addLight(light->uid());
    return light;
}

bool writeSampleMap(const QString &path)
{
    MapModel map;
    DataSupply *a = addInterface(&map, "Facade 2", QHostAddress("127.0.0.2"));
    DataSupply *b = addInterface(&map, "Facade 10", QHostAddress());
    QList<quint64> uids;
    const QStringList names = {"Light 10", "Light 2", "Light 1"};
    for (int i = 0; i < names.size(); ++i)
        uids << addLight(&map, a, names[i], 0, i * 3, QPointF(100 + 60 * i, 100))->uid();
    uids << addLight(&map, b, "Lobby 1", 0, 0, QPointF(100, 220))->uid();
    uids << addLight(&map, b, "Lobby 2", 1, 0, QPointF(220, 220))->uid();
    auto *chase = new Group(1, map.nextUid(), "Chase 10");
    map.addGroup(chase);
    chase->addChildren(uids.mid(0, 3));
    auto *sync = new Group(2, map.nextUid(), "Chase 2");
    map.addGroup(sync);
    sync->addChildren(uids.mid(3));
    return map.saveMap(path);
}
