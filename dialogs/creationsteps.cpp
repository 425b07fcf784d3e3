#include "creationsteps.h"

#include "stringlayout.h"
#include "userprompt.h"

#include "model/datasupply.h"
#include "model/group.h"
#include "model/light.h"
#include "model/mapmodel.h"

#include <QComboBox>

namespace CreationSteps {

QList<DataSupply *> fillInterfaceList(MapModel *map, QComboBox *list)
{
    QList<DataSupply *> interfaces;
    const QHash<quint64, DataSupply *> table = map->dataSupplies();
    for (auto it = table.cbegin(); it != table.cend(); ++it) {
        list->addItem(StringLayout::interfaceEntry(it.key(), it.value()->name()));
        interfaces << it.value();
    }
    return interfaces;
}

int proposedAddress(const QList<DataSupply *> &interfaces, int current, int port)
{
    if (current < 0 || current >= interfaces.size() || port < 1)
        return 1;
    return StringLayout::proposedAddress(
        interfaces.at(current)->lastChannelOnPort(quint8(port - 1)));
}

DataSupply *interfaceOfEntry(MapModel *map, const QString &entry, QWidget *parent)
{
    quint64 uid = 0;
    if (!StringLayout::parseInterfaceEntry(entry, &uid)) {
        UserPrompt::instance()->message(
            parent, QMessageBox::Critical, QStringLiteral("Parse Error"),
            QStringLiteral("Unable to parse serial number of selected controller"));
        return nullptr;
    }
    DataSupply *ds = map->dataSupply(uid);
    if (!ds)
        UserPrompt::instance()->message(
            parent, QMessageBox::Critical, QStringLiteral("Find Failure"),
            QStringLiteral("Unable to find specified controller in map"));
    return ds;
}

DataSupply *addNewInterface(MapModel *map, const QString &namePrefix, int portCount)
{
    DataSupply *ds = map->createDataSupply(2);
    Q_CHECK_PTR(ds);
    ds->setUid(map->nextUid());
    ds->setName(namePrefix + QStringLiteral(" Interface"));
    ds->setProtocolVersion(2);
    if (portCount > 0)
        ds->setPortCount(quint8(portCount));
    if (!map->addDataSupply(ds)) {
        delete ds;
        return nullptr;
    }
    return ds;
}

bool addLight(MapModel *map, DataSupply *interface, Light *light)
{
    if (!map->addLight(light))
        return false;
    interface->addLight(light->uid());
    if (Group *own = map->group(light->uid()))
        own->setName(light->name());
    return true;
}

} // namespace CreationSteps
