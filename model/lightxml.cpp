// The light's element "l" of the map file.
#include "model/light.h"

#include "devices/devicedictionary.h"
#include "devices/propertymapper.h"
#include "model/xmltext.h"
#include "model/xmltextwriter.h"

#include <QDebug>
#include <QMutex>
#include <QMutexLocker>

#include <algorithm>
#include <cmath>

namespace {

// Coordinates that later code turns into ints (canvas items, bounding rectangles) stay far
// enough inside the int range that differences of two of them still fit.
constexpr double kMaxCoordinate = 1.0e9;

const char *const kPoseTags[] = {"x", "y", "z", "q0", "q1", "q2", "q3"};

QString upperHex(quint64 value)
{
    return QString::number(value, 16).toUpper();
}

quint64 hexOr(const QString &text, quint64 fallback)
{
    bool ok = false;
    const quint64 value = text.toULongLong(&ok, 16);
    return ok ? value : fallback;
}

qint32 intOr(const QString &text, qint32 fallback, int base = 10)
{
    bool ok = false;
    const qint32 value = text.toInt(&ok, base);
    return ok ? value : fallback;
}

// The plain decimal form the map writer uses ("-12.500000"), read without the general
// conversion when the digits fit a double exactly: one division of two exact numbers rounds
// as the general conversion does. False for any other form.
bool plainDecimal(const QString &text, double *value)
{
    constexpr quint64 ExactLimit = quint64(1) << 53;
    static const double powers[] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9, 1e10, 1e11};
    const QChar *c = text.constData();
    const QChar *const end = c + text.size();
    const bool negative = c != end && *c == QLatin1Char('-');
    if (negative)
        ++c;
    quint64 digits = 0;
    int integerDigits = 0;
    int decimals = -1;
    for (; c != end; ++c) {
        if (*c == QLatin1Char('.') && decimals < 0 && integerDigits > 0) {
            decimals = 0;
            continue;
        }
        if (*c < QLatin1Char('0') || *c > QLatin1Char('9'))
            return false;
        digits = digits * 10 + quint64(c->unicode() - '0');
        if (digits > ExactLimit)
            return false;
        decimals < 0 ? ++integerDigits : ++decimals;
    }
    if (integerDigits == 0 || decimals == 0 || decimals >= int(std::size(powers)))
        return false;
    const double magnitude = decimals > 0 ? double(digits) / powers[decimals] : double(digits);
    *value = negative ? -magnitude : magnitude;
    return true;
}

// NaN, infinities and absurd magnitudes from a file would become undefined int conversions
// further on.
double boundedCoordinate(const QString &text)
{
    double plain = 0.0;
    if (plainDecimal(text, &plain))
        return std::clamp(plain, -kMaxCoordinate, kMaxCoordinate);
    bool ok = false;
    const double value = text.toDouble(&ok);
    if (!ok || std::isnan(value))
        return 0.0;
    return std::clamp(value, -kMaxCoordinate, kMaxCoordinate);
}

bool isXmlName(const QString &name)
{
    if (name.isEmpty())
        return false;
    const QChar first = name.at(0);
    if (!first.isLetter() && first != QLatin1Char('_'))
        return false;
    return std::all_of(name.cbegin(), name.cend(), [](QChar c) {
        return c.isLetterOrNumber() || c == QLatin1Char('_') || c == QLatin1Char('-') ||
               c == QLatin1Char('.');
    });
}

void appendText(QDomDocument &doc, QDomElement &parent, const QString &tag, const QString &text)
{
    QDomElement child = doc.createElement(tag);
    child.appendChild(doc.createTextNode(xmlSafeText(text)));
    parent.appendChild(child);
}

QString firstChildText(const QDomNode &node)
{
    return node.firstChild().nodeValue();
}

QHash<QString, int> buildTagTable()
{
    const QList<QPair<QString, int>> tags{
        {QStringLiteral("l"), Light::TagLight},
        {QStringLiteral("light"), Light::TagLight},
        {QStringLiteral("n"), Light::TagName},
        {QStringLiteral("name"), Light::TagName},
        {QStringLiteral("c"), Light::TagDataSupply},
        {QStringLiteral("DataSupply"), Light::TagDataSupply},
        {QStringLiteral("fc"), Light::TagFixtureCode},
        {QStringLiteral("fixturecode"), Light::TagFixtureCode},
        {QStringLiteral("f"), Light::TagFixture},
        {QStringLiteral("fixture"), Light::TagFixture},
        {QStringLiteral("s"), Light::TagSelf},
        {QStringLiteral("self"), Light::TagSelf},
        {QStringLiteral("pn"), Light::TagPort},
        {QStringLiteral("ln"), Light::TagLightNumber},
        {QStringLiteral("lightnumber"), Light::TagLightNumber},
        {QStringLiteral("x"), Light::TagX},
        {QStringLiteral("y"), Light::TagY},
        {QStringLiteral("z"), Light::TagZ},
        {QStringLiteral("q0"), Light::TagQ0},
        {QStringLiteral("q1"), Light::TagQ1},
        {QStringLiteral("q2"), Light::TagQ2},
        {QStringLiteral("q3"), Light::TagQ3},
        {QStringLiteral("ch"), Light::TagChannel},
        {QStringLiteral("channel"), Light::TagChannel},
        {QStringLiteral("sn"), Light::TagSerialNumber},
        {QStringLiteral("hueweaveprofileid"), Light::TagHueweaveProfileId},
        {QStringLiteral("hueweaveiomode"), Light::TagHueweaveIoMode},
        {QStringLiteral("properties"), Light::TagProperties},
        {QStringLiteral("additional_data"), Light::TagAdditionalData},
        {QStringLiteral("node_id"), Light::TagNodeId},
    };
    QHash<QString, int> table;
    for (const auto &tag : tags)
        table.insert(tag.first, tag.second);
    return table;
}

// Qt's hash gives even a one-entry table room for dozens of entries, kilobytes a light. The
// lights of a large map mostly hold equal small tables (often only the DMX address), so equal
// tables read from a file share one copy; a light that changes its own copies it first.
void shareEqualTable(QHash<QString, QString> &table)
{
    constexpr qsizetype MaxSharedEntries = 16;
    constexpr qsizetype MaxSharedTables = 4096;
    if (table.isEmpty() || table.size() > MaxSharedEntries)
        return;
    QStringList keys = table.keys();
    keys.sort();
    QString signature;
    for (const QString &key : std::as_const(keys)) {
        signature += key;
        signature += QChar(0x1F);
        signature += table.value(key);
        signature += QChar(0x1E);
    }
    static QMutex mutex;
    static QHash<QString, QHash<QString, QString>> shared;
    QMutexLocker lock(&mutex);
    const auto found = shared.constFind(signature);
    if (found != shared.cend()) {
        table = found.value();
        return;
    }
    if (shared.size() >= MaxSharedTables)
        shared.clear();
    shared.insert(signature, table);
}

} // namespace

const QHash<QString, int> &Light::tagTable()
{
    static const QHash<QString, int> table = buildTagTable();
    return table;
}

void Light::initTagTable()
{
    // Built on first use; called at start-up so the table exists before the first map.
    tagTable();
}

QDomElement Light::toXml(QDomDocument &doc) const
{
    QDomElement element = doc.createElement(QStringLiteral("l"));
    appendText(doc, element, QStringLiteral("s"), upperHex(m_uid));
    appendText(doc, element, QStringLiteral("n"), m_name);
    appendText(doc, element, QStringLiteral("pn"), QString::number(m_hot->port));
    appendText(doc, element, QStringLiteral("ln"), QString::number(m_lightNumber));
    appendText(doc, element, QStringLiteral("f"), upperHex(m_fixture));
    appendText(doc, element, QStringLiteral("c"), upperHex(m_dataSupplyUid));
    appendText(doc, element, QStringLiteral("fc"), QString::number(m_fixtureCode, 16).toUpper());
    const LightPose p = m_pose.value();
    const double pose[] = {p.x, p.y, p.z, p.q0, p.q1, p.q2, p.q3};
    for (int i = 0; i < 7; ++i)
        appendText(doc, element, QLatin1String(kPoseTags[i]),
                   QString::number(pose[i], 'f', 6).toUpper());
    appendText(doc, element, QStringLiteral("ch"), QString::number(m_hot->dmxChannel));
    appendText(doc, element, QStringLiteral("sn"), QString::number(m_serialNumber));
    appendText(doc, element, QStringLiteral("hueweaveprofileid"),
               QString::number(m_hot->hueweaveProfileId));
    appendText(doc, element, QStringLiteral("hueweaveiomode"), QString::number(m_hueweaveIoMode));
    QDomElement properties = doc.createElement(QStringLiteral("properties"));
    for (const auto &entry : xmlPropertyEntries())
        appendText(doc, properties, entry.first, entry.second);
    element.appendChild(properties);
    QDomElement additional = doc.createElement(QStringLiteral("additional_data"));
    for (const auto &entry : xmlAdditionalDataEntries())
        appendText(doc, additional, entry.first, entry.second);
    element.appendChild(additional);
    return element;
}

void Light::writeXml(XmlTextWriter &writer) const
{
    writer.startElement(QLatin1String("l"));
    writer.unsignedHexElement(QLatin1String("s"), m_uid);
    writer.textElement(QLatin1String("n"), m_name);
    writer.unsignedElement(QLatin1String("pn"), m_hot->port);
    writer.unsignedElement(QLatin1String("ln"), m_lightNumber);
    writer.unsignedHexElement(QLatin1String("f"), m_fixture);
    writer.unsignedHexElement(QLatin1String("c"), m_dataSupplyUid);
    writer.hexElement(QLatin1String("fc"), m_fixtureCode);
    const LightPose p = m_pose.value();
    const double pose[] = {p.x, p.y, p.z, p.q0, p.q1, p.q2, p.q3};
    for (int i = 0; i < 7; ++i)
        writer.fixedElement(QLatin1String(kPoseTags[i]), pose[i]);
    writer.numberElement(QLatin1String("ch"), m_hot->dmxChannel);
    writer.unsignedElement(QLatin1String("sn"), m_serialNumber);
    writer.numberElement(QLatin1String("hueweaveprofileid"), m_hot->hueweaveProfileId);
    writer.numberElement(QLatin1String("hueweaveiomode"), m_hueweaveIoMode);
    writer.startElement(QLatin1String("properties"));
    for (const auto &entry : xmlPropertyEntries())
        writer.textElement(entry.first, entry.second);
    writer.endElement();
    writer.startElement(QLatin1String("additional_data"));
    for (const auto &entry : xmlAdditionalDataEntries())
        writer.textElement(entry.first, entry.second);
    writer.endElement();
    writer.endElement();
}

QStringList Light::propertyTokenCandidates() const
{
    QStringList tokens = DeviceDictionary::instance()->memoryMapTokens(m_serialNumber);
    tokens += DeviceDictionary::instance()->memoryMapTokensByName(m_serialNumber);
    tokens += DeviceDictionary::instance()->staticValueNames(m_serialNumber);
    const QString chemistry = QStringLiteral("LED_CHEMISTRY");
    if (!tokens.contains(chemistry))
        tokens.append(chemistry);
    return tokens;
}

QList<QPair<QString, QString>> Light::xmlPropertyEntries() const
{
    QList<QPair<QString, QString>> entries;
    if (m_properties.isEmpty())
        return entries;
    const QStringList candidates = propertyTokenCandidates();
    // Sorted so that saving one map twice gives one file.
    QStringList names = m_properties.keys();
    names.sort();
    for (const QString &name : std::as_const(names)) {
        const QString token = PropertyMapper::instance()->tokenName(name, candidates);
        if (token.contains(QLatin1String("Unsupported Property"), Qt::CaseInsensitive) ||
            token.contains(QLatin1String("DMX_OFFSET")) || !isXmlName(token))
            continue;
        entries.append(
            {token, PropertyMapper::instance()->toRawValueByName(name, m_properties.value(name))});
    }
    return entries;
}

QList<QPair<QString, QString>> Light::xmlAdditionalDataEntries() const
{
    QList<QPair<QString, QString>> entries;
    QStringList keys = m_additionalData.keys();
    keys.sort();
    for (const QString &key : std::as_const(keys)) {
        // The key becomes a tag: one that is no XML name would make the file unreadable.
        if (!isXmlName(key)) {
            qWarning() << "Light: additional data key is no XML name, not saved:" << key;
            continue;
        }
        entries.append({key, m_additionalData.value(key)});
    }
    return entries;
}

void Light::fromXml(const QDomElement *element)
{
    if (!element || element->isNull())
        return;
    const QHash<QString, int> &tags = tagTable();
    for (QDomNode node = element->firstChild(); !node.isNull(); node = node.nextSibling()) {
        const int code = tags.value(node.nodeName(), 0);
        if (code == 0)
            continue;
        readXmlField(code, node.toElement(), firstChildText(node));
    }
    finishXmlRead();
}

void Light::readXmlField(int code, const QDomElement &child, const QString &text)
{
    switch (code) {
    case TagName:
        m_name = text;
        break;
    case TagDataSupply:
        m_dataSupplyUid = hexOr(text, NoSerialNumber);
        break;
    case TagFixtureCode:
        m_fixtureCode = intOr(text, -1, 16);
        break;
    case TagFixture:
        m_fixture = hexOr(text, NoSerialNumber);
        break;
    case TagSelf:
        m_uid = hexOr(text, NoSerialNumber);
        break;
    case TagPort:
        m_hot->port = quint8(intOr(text, 0) & 0xFF);
        break;
    case TagLightNumber: {
        bool ok = false;
        const quint32 number = text.toUInt(&ok);
        m_lightNumber = ok ? number : 0;
        break;
    }
    case TagX:
        m_pose.setField(CompactPose::X, boundedCoordinate(text));
        break;
    case TagY:
        m_pose.setField(CompactPose::Y, boundedCoordinate(text));
        break;
    case TagZ:
        m_pose.setField(CompactPose::Z, boundedCoordinate(text));
        break;
    case TagQ0:
        m_pose.setField(CompactPose::Q0, boundedCoordinate(text));
        break;
    case TagQ1:
        m_pose.setField(CompactPose::Q1, boundedCoordinate(text));
        break;
    case TagQ2:
        m_pose.setField(CompactPose::Q2, boundedCoordinate(text));
        break;
    case TagQ3:
        m_pose.setField(CompactPose::Q3, boundedCoordinate(text));
        break;
    case TagChannel:
        m_hot->dmxChannel = intOr(text, 0);
        m_properties.insert(QStringLiteral("DMX Address"),
                            QString::number(qint64(m_hot->dmxChannel) + 1));
        break;
    case TagSerialNumber: {
        bool ok = false;
        const quint64 serial = text.toULongLong(&ok);
        m_serialNumber = ok ? serial : NoSerialNumber;
        break;
    }
    case TagHueweaveProfileId:
        m_hot->hueweaveProfileId = intOr(text, 0);
        break;
    case TagHueweaveIoMode:
        m_hueweaveIoMode = intOr(text, 0);
        break;
    case TagProperties:
        readXmlProperties(child);
        break;
    case TagAdditionalData:
        readXmlAdditionalData(child);
        break;
    default: // the element itself and the node id key carry no field
        break;
    }
}

void Light::readXmlProperties(const QDomElement &element)
{
    for (QDomElement child = element.firstChildElement(); !child.isNull();
         child = child.nextSiblingElement())
        readXmlProperty(child.tagName(), firstChildText(child));
}

void Light::readXmlProperty(const QString &token, const QString &text)
{
    const QString name = PropertyMapper::instance()->stringName(token);
    if (m_properties.contains(name) || token.contains(QLatin1String("DMX_OFFSET")))
        return;
    // Firmware versions are dotted texts that a value conversion would mangle.
    const QString value = name == QLatin1String("Firmware Version")
                              ? text
                              : PropertyMapper::instance()->toDisplayValueByName(name, text);
    m_properties.insert(name, value);
    applyProperty(name);
}

void Light::readXmlAdditionalData(const QDomElement &element)
{
    for (QDomElement child = element.firstChildElement(); !child.isNull();
         child = child.nextSiblingElement())
        readXmlAdditionalDatum(child.tagName(), firstChildText(child));
}

void Light::readXmlAdditionalDatum(const QString &tag, const QString &text)
{
    m_additionalData.insert(tag, text);
    qDebug() << "Reading" << tag << text;
}

void Light::finishXmlRead()
{
    updateChannelLayout();
    shareEqualTable(m_properties);
    shareEqualTable(m_additionalData);
    const QString chemistry = PropertyMapper::instance()->toDisplayValue(
        QStringLiteral("LED_CHEMISTRY"), QString::number(m_ledChemistry));
    const QString model =
        DeviceDictionary::instance()->deviceNameForLedChemistry(m_serialNumber, chemistry);
    if (model.compare(QLatin1String("Unknown Device"), Qt::CaseInsensitive) != 0) {
        m_modelName = model;
        notifyUpdatedLight(m_uid);
    }
    notifyUpdatedLight(m_uid);
}
