#ifndef FIXTUREPROPERTYROWS_H
#define FIXTUREPROPERTYROWS_H

#include <QMap>
#include <QString>
#include <QStringList>

class DeviceDictionary;
class Light;
class PropertyMapper;
class QComboBox;
class QLabel;
class QWidget;

// The "Fixture Properties" group of the light and string creation dialogs: the fixture-type
// list and ten property rows, which rows the chosen type shows and what they preselect, and
// how the choices are written to a new light. Both forms name the widgets alike.
class FixturePropertyRows
{
public:
    // How a "Corlend Mode" choice reaches a light: as its colour control mode only, or also as
    // a property of its own in place of "Color Control Mode".
    enum CorlendWrite { CorlendAsColorControlMode, CorlendAsOwnProperty };

    FixturePropertyRows();
    // Finds the rows among form's children by their object names; call once the form is built.
    void attach(QWidget *form);

    static const QStringList &propertyNames();

    // Fills the property lists and the fixture-type list and selects "Generic 3-Ch".
    void fill();
    QString fixtureType() const { return m_fixtureTypeName; }
    QComboBox *fixtureTypeList() const { return m_fixtureType; }
    QComboBox *list(const QString &property) const;
    QLabel *label(const QString &property) const;

    void fixtureTypeChanged(int index);
    void vorlethModeChanged(int index);
    void ledChemistryChanged(int index);

    // Writes the chosen fixture type and properties to light; returns the light's footprint
    // afterwards.
    int applyTo(Light *light, CorlendWrite corlend) const;
    // Selects, in every row the current type's device has, the value light holds.
    void selectFrom(const Light *light);

private:
    struct Row
    {
        QLabel *label = nullptr;
        QComboBox *list = nullptr;
    };
    QStringList deviceTokens(quint64 serial, const QString &productCode) const;
    void showRow(const Row &row, bool shown) const;
    void write(Light *light, const QString &property, quint32 raw, CorlendWrite corlend) const;

    QComboBox *m_fixtureType = nullptr;
    QString m_fixtureTypeName;
    QMap<QString, Row> m_rows;
    QMap<QString, int> m_fallbackRaw;
    DeviceDictionary *m_dictionary;
    PropertyMapper *m_mapper;
};

#endif // FIXTUREPROPERTYROWS_H
