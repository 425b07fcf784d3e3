#ifndef EDITLIGHTSLIGHT_H
#define EDITLIGHTSLIGHT_H

#include <QCollator>
#include <QHash>
#include <QTreeWidgetItem>

class Light;

// A row of the light editor's device list: a device model (with its light rows) or a light.
class EditLightsLight : public QTreeWidgetItem
{
public:
    enum { ModelType = 8001, LightType = 8002 };

    // A model row.
    explicit EditLightsLight(const QString &modelName);
    // A light row.
    explicit EditLightsLight(Light *light);
    ~EditLightsLight() override;

    Light *light() const { return m_light; }
    // A model row's light rows by light uid.
    QHash<quint64, EditLightsLight *> &lightRows() { return m_lightRows; }

    bool operator<(const QTreeWidgetItem &other) const override;

private:
    Light *m_light = nullptr;
    QCollator m_collator;
    QHash<quint64, EditLightsLight *> m_lightRows;
};

#endif // EDITLIGHTSLIGHT_H
