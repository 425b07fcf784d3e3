#ifndef EDITLIGHTSLIGHT_H
#define EDITLIGHTSLIGHT_H

#include <QCollator>
#include <QHash>
#include <QTreeWidgetItem>

#include <optional>

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

    // Column 0 in italics or not. Read through data() rather than stored, so that marking
    // thousands of rows tells the view nothing per row; the view repaints once instead.
    void setItalic(bool italic) { m_italic = italic; }
    bool isItalic() const { return m_italic; }
    QVariant data(int column, int role) const override;
    void setData(int column, int role, const QVariant &value) override;

    bool operator<(const QTreeWidgetItem &other) const override;

private:
    // The collator's key of a column's text, made once per text: comparing keys is a byte
    // compare, while the collator compares each pair from scratch during a sort.
    const QCollatorSortKey &sortKey(int column) const;

    Light *m_light = nullptr;
    bool m_italic = false;
    mutable std::optional<QCollatorSortKey> m_key[2];
    QCollator m_collator;
    QHash<quint64, EditLightsLight *> m_lightRows;
};

#endif // EDITLIGHTSLIGHT_H
