#include "deviceview.h"

#include "editlightslight.h"

#include "devices/devicedictionary.h"
#include "model/datasupply.h"
#include "model/light.h"
#include "model/mapmodel.h"

#include <QHeaderView>
#include <QSignalBlocker>

DeviceView::DeviceView(QWidget *parent) : QTreeWidget(parent)
{
    setColumnCount(3);
    setHeaderLabels({tr("Devices"), tr("DMX Channel"), tr("Controller")});
}

QString DeviceView::modelNameFor(quint64 serial)
{
    const QString name = DeviceDictionary::instance()->deviceName(serial);
    if (name.compare(QLatin1String("Unknown Device"), Qt::CaseInsensitive) == 0)
        return QStringLiteral("Vey Fixture");
    return name;
}

void DeviceView::setLights(const QSet<Light *> &lights, MapModel *map)
{
    m_map = map;
    m_selected = lights;
    m_singleSelection = lights.size() == 1;
    sortByColumn(0, Qt::AscendingOrder);
    setSortingEnabled(true);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    connect(this, &QTreeWidget::itemSelectionChanged, this,
            &DeviceView::handleDeviceSelectionChanged, Qt::UniqueConnection);
    if (m_map) {
        connect(m_map, &MapModel::updatedLight, this, &DeviceView::handleUpdatedLight,
                Qt::UniqueConnection);
        connect(m_map, &MapModel::deletedLight, this, &DeviceView::handleDeletedLight,
                Qt::UniqueConnection);
    }
    populate(lights);
}

EditLightsLight *DeviceView::modelRowFor(quint64 serial)
{
    const QString name = modelNameFor(serial);
    EditLightsLight *row = m_modelRows.value(name);
    if (!row) {
        row = new EditLightsLight(name);
        addTopLevelItem(row);
        m_modelRows.insert(name, row);
    }
    return row;
}

void DeviceView::refreshRow(EditLightsLight *row)
{
    const Light *light = row->light();
    row->setText(0, light->name());
    row->setText(1, QString::number(qint64(light->dmxChannel()) + 1));
}

void DeviceView::finishChange()
{
    setSortingEnabled(true);
    expandAll();
    resizeColumnToContents(0);
}

void DeviceView::populate(const QSet<Light *> &lights)
{
    setSortingEnabled(false);
    {
        const QSignalBlocker blocker(this);
        for (Light *light : lights) {
            EditLightsLight *model = modelRowFor(light->serialNumber());
            auto *row = new EditLightsLight(light);
            refreshRow(row);
            const DataSupply *ds = m_map ? m_map->dataSupply(light->dataSupplyUid()) : nullptr;
            row->setText(2, ds ? ds->name() : QString());
            m_lightRows.insert(light->uid(), row);
            m_filledSerials.insert(light->uid(), light->serialNumber());
            model->addChild(row);
            model->lightRows().insert(light->uid(), row);
        }
    }
    finishChange();
}

void DeviceView::handleDeviceSelectionChanged()
{
    m_selected.clear();
    const QList<QTreeWidgetItem *> rows = selectedItems();
    for (QTreeWidgetItem *item : rows) {
        if (item->type() == EditLightsLight::ModelType) {
            auto *model = static_cast<EditLightsLight *>(item);
            for (EditLightsLight *row : std::as_const(model->lightRows()))
                m_selected.insert(row->light());
        } else if (item->type() == EditLightsLight::LightType) {
            m_selected.insert(static_cast<EditLightsLight *>(item)->light());
        }
    }
    m_singleSelection = m_selected.size() == 1;
    emit lightSelectionChanged();
}

void DeviceView::setLightItalic(Light *light, bool italic)
{
    EditLightsLight *row = light ? m_lightRows.value(light->uid()) : nullptr;
    if (!row || row->isItalic() == italic)
        return;
    row->setItalic(italic);
    // Measuring the column walks up to a thousand rows: once per bulk change, not per light.
    if (m_bulk) {
        m_bulkResize = true;
        return;
    }
    resizeColumnToContents(0);
    viewport()->update();
}

void DeviceView::setBulkUpdate(bool on)
{
    if (on == m_bulk)
        return;
    m_bulk = on;
    if (on)
        return;
    if (m_bulkResort)
        finishChange();
    else if (m_bulkResize)
        resizeColumnToContents(0);
    if (m_bulkResize)
        viewport()->update();
    m_bulkResort = m_bulkResize = false;
}

void DeviceView::handleUpdatedLight(quint64 uid)
{
    EditLightsLight *row = m_lightRows.value(uid);
    Light *light = m_map ? m_map->light(uid) : nullptr;
    if (!row || !light)
        return;
    // A light reports every field it stores; most leave its row as it is, and switching the
    // sorting off and on costs a connection and a full sort.
    const quint64 filled = m_filledSerials.value(uid);
    const bool serialChanged = light->serialNumber() != filled;
    if (!serialChanged && row->text(0) == light->name() &&
        row->text(1) == QString::number(qint64(light->dmxChannel()) + 1))
        return;
    if (isSortingEnabled())
        setSortingEnabled(false);
    refreshRow(row);
    if (serialChanged)
        moveLightItem(uid, filled, light->serialNumber());
    if (m_bulk) {
        m_bulkResort = true;
        return;
    }
    setSortingEnabled(true);
    resizeColumnToContents(0);
}

void DeviceView::moveLightItem(quint64 uid, quint64 oldSerial, quint64 newSerial)
{
    EditLightsLight *row = m_lightRows.value(uid);
    EditLightsLight *from = m_modelRows.value(modelNameFor(oldSerial));
    if (!row || !from || !from->lightRows().contains(uid) ||
        modelNameFor(oldSerial) == modelNameFor(newSerial))
        return;
    if (isSortingEnabled())
        setSortingEnabled(false);
    {
        const QSignalBlocker blocker(this);
        from->lightRows().remove(uid);
        from->removeChild(row);
        if (from->lightRows().isEmpty()) {
            m_modelRows.remove(from->text(0));
            delete from;
        }
        EditLightsLight *to = modelRowFor(newSerial);
        to->addChild(row);
        to->lightRows().insert(uid, row);
        row->setSelected(m_selected.contains(row->light()));
    }
    if (m_bulk)
        m_bulkResort = true;
    else
        finishChange();
}

void DeviceView::handleDeletedLight(quint64 uid)
{
    EditLightsLight *row = m_lightRows.take(uid);
    if (!row)
        return;
    m_filledSerials.remove(uid);
    m_selected.remove(row->light());
    m_singleSelection = m_selected.size() == 1;
    const QSignalBlocker blocker(this);
    auto *model = static_cast<EditLightsLight *>(row->parent());
    if (model) {
        model->lightRows().remove(uid);
        if (model->lightRows().isEmpty()) {
            m_modelRows.remove(model->text(0));
            delete model;
            return;
        }
    }
    delete row;
}
