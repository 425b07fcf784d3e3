// The map file: MapModel's saveMap, loadMap and loadMapElement.

#include "model/mapmodel.h"

#include "model/datasupply.h"
#include "model/group.h"
#include "model/light.h"
#include "model/mapfilereader.h"
#include "model/xmltextwriter.h"

#include <QBuffer>
#include <QDebug>
#include <QDomElement>
#include <QFile>
#include <QSaveFile>

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

namespace {

const QString SelectionGroupName = QStringLiteral("VTP Selection Group");

int progressStep(int total)
{
    return std::max(total / 100, 1);
}

// The group's element "g", written from what the group shows of itself.
void writeGroupText(XmlTextWriter &writer, const Group &group)
{
    writer.startElement(QLatin1String("g"));
    writer.numberElement(QLatin1String("t"), group.type());
    writer.unsignedHexElement(QLatin1String("s"), group.uid());
    writer.textElement(QLatin1String("n"), group.name());
    writer.numberElement(QLatin1String("o"), group.chaseOrder());
    for (quint64 member : group.children())
        writer.unsignedHexElement(QLatin1String("c"), member);
    writer.endElement();
}

// A position from the file may be anything a double can hold; the extent stays in int range.
int truncatedCoordinate(double value)
{
    if (std::isnan(value))
        return 0;
    return int(std::clamp(std::trunc(value), 0.0, double(INT_MAX)));
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Saving

void MapModel::writeMapText(XmlTextWriter &writer)
{
    writer.startElement(QLatin1String("map"));
    writer.textElement(QLatin1String("imagefile"), m_imageFile);
    writer.textElement(QLatin1String("postsync"), QStringLiteral("0"));
    writer.textElement(QLatin1String("version"), QStringLiteral("2.3.1"));

    const int total = int(m_groups.size() + m_lights.size() + m_dataSupplies.size());
    const int step = progressStep(total);
    int counter = 0;
    auto count = [&] {
        ++counter;
        if (counter % step == 0)
            emit progressUpdated(counter);
    };
    emit progressStarted(0, total, QStringLiteral("Saving Interfaces..."));

    // In uid order rather than the table's: its order changes from process to process, and an
    // unchanged map must save to the same bytes.
    std::vector<DataSupply *> dataSupplies(m_dataSupplies.cbegin(), m_dataSupplies.cend());
    std::sort(dataSupplies.begin(), dataSupplies.end(),
              [](const DataSupply *a, const DataSupply *b) { return a->uid() < b->uid(); });
    for (const DataSupply *dataSupply : dataSupplies) {
        dataSupply->writeXml(writer);
        count();
    }

    emit progressTextChanged(QStringLiteral("Saving Lights..."));
    std::vector<Light *> lights(m_lights.cbegin(), m_lights.cend());
    // Lights of one serial number (often 0, before discovery) follow in uid order, for the
    // same reason.
    std::sort(lights.begin(), lights.end(), [](const Light *a, const Light *b) {
        return a->serialNumber() != b->serialNumber() ? a->serialNumber() < b->serialNumber()
                                                      : a->uid() < b->uid();
    });
    for (const Light *light : lights) {
        light->writeXml(writer);
        count();
    }

    emit progressTextChanged(QStringLiteral("Saving Groups..."));
    std::vector<Group *> groups(m_groups.cbegin(), m_groups.cend());
    std::sort(groups.begin(), groups.end(),
              [](const Group *a, const Group *b) { return a->uid() < b->uid(); });
    for (const Group *group : groups) {
        if (group->name() == SelectionGroupName)
            continue;
        writeGroupText(writer, *group);
        count();
    }
    emit progressUpdated(total);
    writer.endElement();
}

QByteArray MapModel::mapText()
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    XmlTextWriter writer(&buffer);
    writeMapText(writer);
    writer.finish();
    return buffer.data();
}

bool MapModel::saveMap(const QString &fileName)
{
    // Written aside and renamed over the old file only when every byte is down, so a full
    // disk keeps the last good map. Unbuffered, because a short write hidden in the buffer is
    // not reported by commit(): the file would be renamed into place cut off. The writer
    // hands over large chunks and stops at the first one that falls short.
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return false;
    XmlTextWriter writer(&file);
    writeMapText(writer);
    if (!writer.finish()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

// ---------------------------------------------------------------------------------------------
// Loading

bool MapModel::loadMap(const QString &fileName, const MapLoadDefaults &defaults)
{
    emit msg(QStringLiteral("Opening map file: ") + fileName);
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        qDebug() << "Error: Unable to open file.";
        emit msg(QStringLiteral("Error: Unable to open file."));
        return false;
    }
    MapFileReader reader;
    bool readable = false;
    {
        // The file's bytes go before the records turn into objects and rows: on a large map
        // they are a third of what opening it costs at its height.
        const QByteArray bytes = file.readAll();
        file.close();
        readable = readMapBytes(reader, bytes, false);
    }
    return readable && loadMapRecords(reader, defaults);
}

bool MapModel::loadMapData(const QByteArray &bytes, const MapLoadDefaults &defaults,
                           bool xmlParserOnly)
{
    MapFileReader reader;
    return readMapBytes(reader, bytes, xmlParserOnly) && loadMapRecords(reader, defaults);
}

bool MapModel::readMapBytes(MapFileReader &reader, const QByteArray &bytes, bool xmlParserOnly)
{
    // Read record by record: a whole document of a large map costs several times the memory
    // of the map itself, and a map of nothing but nested elements takes minutes to build.
    const MapFileReader::Path path =
        xmlParserOnly ? MapFileReader::Path::XmlParserOnly : MapFileReader::Path::PlainFirst;
    if (!reader.read(bytes, path)) {
        qDebug() << "Error:" << reader.errorString() << "in line " << reader.errorLine() << "column"
                 << reader.errorColumn();
        emit msg(QStringLiteral("Error in line: %1, column: %2")
                     .arg(reader.errorLine())
                     .arg(reader.errorColumn()));
        if (reader.exceededLimit())
            emit msg(QStringLiteral("Map file refused: ") + reader.errorString());
        return false;
    }
    emit msg(QStringLiteral("Doc has ") + QString::number(reader.topLevelCount()) +
             QStringLiteral(" children."));
    return reader.topLevelCount() == 1 && reader.rootIsMap();
}

bool MapModel::loadMapElement(const QDomNode &node, MapLoadDefaults defaults)
{
    if (!node.isElement() || node.toElement().tagName() != QLatin1String("map"))
        return false;
    MapFileReader reader;
    reader.readElement(node);
    return loadMapRecords(reader, defaults);
}

bool MapModel::loadMapRecords(MapFileReader &reader, const MapLoadDefaults &defaults)
{
    // Reset only once the file is known to be a map, so a refused file changes nothing.
    m_mapExtent = QRect(0, 0, 0, 0);

    std::vector<MapFileReader::Record> &records = reader.records();
    const int n = int(records.size());
    emit msg(QStringLiteral("Map has %1 children.").arg(n));
    const int step = progressStep(n);
    emit progressStarted(0, n, QStringLiteral("Loading Map"));

    QList<quint64> newDataSupplies;
    QList<quint64> newLights;
    QList<quint64> newGroups;
    for (int i = 0; i < n; ++i) {
        MapFileReader::Record &record = records[size_t(i)];
        switch (record.kind) {
        case MapFileReader::Record::DataSupply:
            loadDataSupplyElement(reader.interfaceElement(record), defaults, newDataSupplies);
            // An interface's record lists each of its lights as a node of its own.
            record.element = QDomElement();
            record.document = QDomDocument();
            break;
        case MapFileReader::Record::Light:
            loadLightRecord(std::exchange(record.light, nullptr), newLights);
            break;
        case MapFileReader::Record::Group:
            loadGroupRecord(std::exchange(record.group, nullptr), newGroups);
            break;
        case MapFileReader::Record::ImageFile:
            m_imageFile = record.text;
            break;
        case MapFileReader::Record::PostSync: {
            bool ok = false;
            const qlonglong value = record.text.toLongLong(&ok);
            m_postSync = ok && value != 0;
            break;
        }
        case MapFileReader::Record::Other:
            break;
        }
        if (i % step == 0)
            emit progressUpdated(i);
    }
    emit progressUpdated(n);
    // Every object has been taken; the views build their rows from here on, in the room the
    // records leave.
    reader.releaseRecords();

    if (!m_imageFile.isEmpty())
        emit newImageFile();
    for (quint64 uid : std::as_const(newDataSupplies))
        emit newDataSupply(uid);
    for (quint64 uid : std::as_const(newLights))
        emit newLight(uid);
    for (quint64 uid : std::as_const(newGroups))
        emit newGroup(uid);
    for (DataSupply *dataSupply : std::as_const(m_dataSupplies))
        dataSupply->updateBufferSizes();
    return true;
}

// A record naming several types (files written by hand or by other tools) loads once, as
// the last type that names a loadable interface: the type its fields end up with, and so the
// one it is saved with and loads as again.
void MapModel::loadDataSupplyElement(const QDomElement &element, const MapLoadDefaults &defaults,
                                     QList<quint64> &newDataSupplies)
{
    int type = 0;
    for (QDomElement child = element.firstChildElement(); !child.isNull();
         child = child.nextSiblingElement()) {
        if (child.tagName() != QLatin1String("type") && child.tagName() != QLatin1String("t"))
            continue;
        bool ok = false;
        const int named = child.text().toInt(&ok);
        if (ok && DataSupply::isLoadableType(named))
            type = named;
    }
    if (type == 2)
        emit msg(QStringLiteral("Loading a Orvex IP DataSupply."));
    else if (type == 3)
        emit msg(QStringLiteral("Loading a Orvex Broadcast DataSupply."));
    else if (type == 6 || type == 7)
        emit msg(QStringLiteral("Loading a SACN DataSupply."));
    else
        return;

    QDomElement record = element;
    auto *dataSupply = new DataSupply(type, &record);
    if (!loadDataSupply(dataSupply)) {
        if (DataSupply *existing = m_dataSupplies.value(dataSupply->uid()))
            existing->copyProperties(dataSupply);
        delete dataSupply;
        return;
    }
    dataSupply->setAuxiliaryAddress(defaults.text3);
    dataSupply->setAuxiliaryText1(defaults.text1);
    dataSupply->setAuxiliaryText2(defaults.text2);
    newDataSupplies.append(dataSupply->uid());
}

void MapModel::loadLightRecord(Light *light, QList<quint64> &newLights)
{
    if (!loadLight(light)) {
        if (Light *existing = m_lights.value(light->uid()))
            existing->applyDiscovered(light);
        delete light;
        return;
    }
    newLights.append(light->uid());
    growMapExtent(light);
}

void MapModel::growMapExtent(const Light *light)
{
    const LightPose pose = light->pose();
    if (pose.x > m_mapExtent.width())
        m_mapExtent.setWidth(truncatedCoordinate(pose.x));
    if (pose.y > m_mapExtent.height())
        m_mapExtent.setHeight(truncatedCoordinate(pose.y));
}

void MapModel::loadGroupRecord(Group *group, QList<quint64> &newGroups)
{
    if (!loadGroup(group)) {
        delete group;
        return;
    }
    newGroups.append(group->uid());
}
