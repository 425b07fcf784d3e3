#include "fixturepropertyrows.h"

#include "devices/devicedictionary.h"
#include "devices/devicetype.h"
#include "devices/propertymapper.h"
#include "model/light.h"

#include <QComboBox>
#include <QLabel>
#include <QWidget>

#include <algorithm>

namespace {
const QString GenericFixture = QStringLiteral("Generic 3-Ch");
const QString HalfFullFixture = QStringLiteral("Skendra Keltrane");
const QString LedChemistry = QStringLiteral("LED Chemistry");
const QString LedChemistryToken = QStringLiteral("LED_CHEMISTRY");

struct RowSpec
{
    const char *property;
    const char *widget;
    int fallbackRaw;
};
// The fixed order of the rows: it drives both which rows show and the order of writing.
const RowSpec Rows[] = {
    {"Resolution", "m_inputResolution", 1},
    {"Dimming Curve", "m_dimmingCurve", 0},
    {"Color Control Mode", "m_colorControlMode", 0},
    {"Hueweave", "m_hueweave", 0},
    {"Corlend Mode", "m_colorControlModeCorlend", 0},
    {"Half / Full Mode", "m_vorleth", 0},
    {"Quy Input Mode", "m_quyEnable", 0},
    {"Quy/Zyr Input Mode", "m_quyInputMode", 1},
    {"LED Chemistry", "m_ledChemistry", 0},
    {"DMX Personality", "m_dmxPersonality", 1},
};
} // namespace

FixturePropertyRows::FixturePropertyRows()
    : m_dictionary(DeviceDictionary::instance()), m_mapper(PropertyMapper::instance())
{
    Q_CHECK_PTR(m_dictionary);
    Q_CHECK_PTR(m_mapper);
}

void FixturePropertyRows::attach(QWidget *form)
{
    m_fixtureType = form->findChild<QComboBox *>(QStringLiteral("m_fixtureType"));
    Q_CHECK_PTR(m_fixtureType);
    for (const RowSpec &spec : Rows) {
        const QString widget = QLatin1String(spec.widget);
        Row row;
        row.list = form->findChild<QComboBox *>(widget);
        row.label = form->findChild<QLabel *>(widget + QLatin1String("Label"));
        m_rows.insert(QLatin1String(spec.property), row);
        m_fallbackRaw.insert(QLatin1String(spec.property), spec.fallbackRaw);
    }
}

const QStringList &FixturePropertyRows::propertyNames()
{
    static const QStringList names = [] {
        QStringList list;
        for (const RowSpec &spec : Rows)
            list << QLatin1String(spec.property);
        return list;
    }();
    return names;
}

QComboBox *FixturePropertyRows::list(const QString &property) const
{
    return m_rows.value(property).list;
}

QLabel *FixturePropertyRows::label(const QString &property) const
{
    return m_rows.value(property).label;
}

void FixturePropertyRows::fill()
{
    for (const QString &property : propertyNames()) {
        QComboBox *box = list(property);
        if (box && property != LedChemistry)
            box->addItems(m_mapper->valueMap(property).keys());
    }
    QStringList names;
    for (int type : {int(DeviceType::FIXTURE), int(DeviceType::ETHERNET_FIXTURE),
                     int(DeviceType::RDM_FIXTURE)})
        for (quint64 serial : m_dictionary->deviceNamesOfType(type))
            names << m_dictionary->deviceName(serial);
    names << m_dictionary->deviceNamesOfTypeByProductCode(DeviceType::XMX_DEVICE, true);
    for (const QString &name :
         m_dictionary->deviceNamesOfTypeByProductCode(DeviceType::RDM_FIXTURE, false))
        if (!names.contains(name, Qt::CaseInsensitive))
            names << name;
    std::sort(names.begin(), names.end());
    m_fixtureType->addItems(names);
    m_fixtureType->setCurrentIndex(m_fixtureType->findText(GenericFixture));
}

QStringList FixturePropertyRows::deviceTokens(quint64 serial, const QString &productCode) const
{
    return m_dictionary->memoryMapTokens(serial) +
           m_dictionary->memoryMapTokens(serial, productCode) +
           m_dictionary->staticValueNames(serial, productCode);
}

void FixturePropertyRows::showRow(const Row &row, bool shown) const
{
    if (row.label)
        row.label->setVisible(shown);
    if (row.list)
        row.list->setVisible(shown);
}

void FixturePropertyRows::fixtureTypeChanged(int index)
{
    const QString name = m_fixtureType->itemText(index);
    const quint64 serial = m_dictionary->firstSerialForName(name);
    const QString productCode = m_dictionary->productCodeForName(name);
    m_fixtureTypeName = name;
    const QStringList tokens = deviceTokens(serial, productCode);
    for (const QString &property : propertyNames()) {
        const Row row = m_rows.value(property);
        const QString token = m_mapper->tokenName(property, tokens);
        const bool shown = m_dictionary->hasToken(serial, productCode, token);
        showRow(row, shown);
        if (!shown || !row.list)
            continue;
        if (property == LedChemistry) {
            row.list->clear();
            row.list->addItems(m_dictionary->hueweaveLedChemistries(serial, productCode));
        }
        const int raw = m_dictionary->tokenHasDefaultValue(serial, productCode, token)
                            ? m_dictionary->tokenDefaultValue(serial, productCode, token)
                            : m_fallbackRaw.value(property);
        row.list->setCurrentText(m_mapper->toDisplayValue(token, QString::number(raw)));
    }
}

void FixturePropertyRows::vorlethModeChanged(int index)
{
    const Row vorleth = m_rows.value(QStringLiteral("Half / Full Mode"));
    const Row chemistry = m_rows.value(LedChemistry);
    if (m_fixtureTypeName != HalfFullFixture || !vorleth.list || !chemistry.list)
        return;
    const QString raw = m_mapper->toRawValueByName(QStringLiteral("Half / Full Mode"),
                                                   vorleth.list->itemText(index));
    const bool half = raw.toUInt() != 0;
    showRow(chemistry, half);
    chemistry.list->clear();
    const QStringList raws = half ? QStringList{"253", "254"} : QStringList{"0"};
    for (const QString &value : raws)
        chemistry.list->addItem(m_mapper->toDisplayValue(LedChemistryToken, value));
    chemistry.list->setCurrentIndex(0);
}

void FixturePropertyRows::ledChemistryChanged(int)
{
    const Row chemistry = m_rows.value(LedChemistry);
    if (m_fixtureTypeName != GenericFixture || !chemistry.list)
        return;
    const QString raw = m_mapper->toRawValueByName(LedChemistry, chemistry.list->currentText());
    showRow(m_rows.value(QStringLiteral("Quy/Zyr Input Mode")), raw.toUInt() == 6);
}

void FixturePropertyRows::write(Light *light, const QString &property, quint32 raw,
                                CorlendWrite corlend) const
{
    if (property == LedChemistry) {
        light->setLedChemistry(raw);
    } else if (property == QLatin1String("Dimming Curve")) {
        light->setDimmingCurve(raw);
    } else if (property == QLatin1String("Hueweave")) {
        light->setHueweaveEnabled(int(raw));
    } else if (property == QLatin1String("Color Control Mode")) {
        light->setColorControlMode(raw);
    } else if (property == QLatin1String("Corlend Mode")) {
        light->setColorControlMode(raw);
        if (corlend == CorlendAsOwnProperty) {
            light->setProperty(property,
                               m_mapper->toDisplayValueByName(property, QString::number(raw)));
            light->removeProperty(QStringLiteral("Color Control Mode"));
        }
    } else if (property == QLatin1String("DMX Personality")) {
        light->setProperty(property,
                           m_mapper->toDisplayValueByName(property, QString::number(raw)));
    } else if (property == QLatin1String("Resolution")) {
        light->setResolution(raw);
    } else if (property == QLatin1String("Half / Full Mode")) {
        light->setHalfFullMode(raw != 0);
    } else if (property == QLatin1String("Quy Input Mode")) {
        light->setWhiteInputMode(raw == 0);
    } else if (property == QLatin1String("Quy/Zyr Input Mode")) {
        light->setWhiteInputMode(int(raw));
    }
}

int FixturePropertyRows::applyTo(Light *light, CorlendWrite corlend) const
{
    const QString name = m_fixtureType->currentText();
    const quint64 serial = m_dictionary->firstSerialForName(name);
    const QString productCode = m_dictionary->productCodeForName(name);
    light->setSerialNumber(serial);
    if (!productCode.isEmpty())
        light->setProperty(QStringLiteral("Device Info"), productCode);
    const QStringList tokens = deviceTokens(serial, productCode);
    for (const QString &property : propertyNames()) {
        const QString token = m_mapper->tokenName(property, tokens);
        const Row row = m_rows.value(property);
        if (row.list && m_dictionary->hasToken(light->serialNumber(), productCode, token))
            write(light, property, m_mapper->toRawValue(token, row.list->currentText()), corlend);
        // A value the device fixes wins over whatever the list shows.
        if (m_dictionary->hasStaticValue(token, serial, productCode))
            write(light, property, m_dictionary->staticValue(token, serial, productCode), corlend);
    }
    const QString chemistry =
        m_mapper->toDisplayValue(LedChemistryToken, QString::number(light->ledChemistry()));
    light->setHueweaveProfileId(
        quint32(m_dictionary->hueweaveProfileId(serial, productCode, chemistry)));
    light->setHueweaveIoMode(quint32(m_dictionary->hueweaveIoMode(serial, productCode, chemistry,
                                                                  int(light->colorControlMode()))));
    if (name == GenericFixture && light->ledChemistry() == 0 && light->whiteInputMode() != 1)
        light->setWhiteInputMode(1);
    return int(light->footprint());
}

void FixturePropertyRows::selectFrom(const Light *light)
{
    const QString name = m_fixtureType->currentText();
    const quint64 serial = m_dictionary->firstSerialForName(name);
    const QString productCode = m_dictionary->productCodeForName(name);
    const QStringList tokens = deviceTokens(serial, productCode);
    for (const QString &property : propertyNames()) {
        const Row row = m_rows.value(property);
        if (row.list &&
            m_dictionary->hasToken(serial, productCode, m_mapper->tokenName(property, tokens)))
            row.list->setCurrentText(light->property(property));
    }
}
