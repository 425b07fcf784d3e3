#include "editlightslight.h"

#include "model/light.h"

#include <QFont>
#include <QLocale>
#include <QTreeWidget>

namespace {
// Copies share one collator. Under the C locale the toolkit's collator ignores numeric mode,
// so that case borrows a real locale's rules.
const QCollator &numericCollator()
{
    static const QCollator collator = [] {
        QLocale locale;
        if (locale.language() == QLocale::C)
            locale = QLocale(QLocale::English, QLocale::UnitedStates);
        QCollator c(locale);
        c.setNumericMode(true);
        return c;
    }();
    return collator;
}
} // namespace

EditLightsLight::EditLightsLight(const QString &modelName)
    : QTreeWidgetItem(ModelType), m_collator(numericCollator())
{
    setText(0, modelName);
    setExpanded(true);
}

EditLightsLight::EditLightsLight(Light *light)
    : QTreeWidgetItem(LightType), m_light(light), m_collator(numericCollator())
{
    setExpanded(true);
}

EditLightsLight::~EditLightsLight() = default;

QVariant EditLightsLight::data(int column, int role) const
{
    if (column != 0 || role != Qt::FontRole)
        return QTreeWidgetItem::data(column, role);
    QFont font = QTreeWidgetItem::data(column, role).value<QFont>();
    font.setItalic(m_italic);
    return font;
}

void EditLightsLight::setData(int column, int role, const QVariant &value)
{
    if ((column == 0 || column == 2) && (role == Qt::DisplayRole || role == Qt::EditRole))
        m_key[column == 0 ? 0 : 1].reset();
    QTreeWidgetItem::setData(column, role, value);
}

const QCollatorSortKey &EditLightsLight::sortKey(int column) const
{
    std::optional<QCollatorSortKey> &key = m_key[column == 0 ? 0 : 1];
    if (!key)
        key = m_collator.sortKey(text(column));
    return *key;
}

bool EditLightsLight::operator<(const QTreeWidgetItem &other) const
{
    const int column = treeWidget() ? treeWidget()->sortColumn() : 0;
    switch (column) {
    case 0:
    case 2:
        if (other.type() != ModelType && other.type() != LightType)
            return m_collator.compare(text(column), other.text(column)) < 0;
        return sortKey(column).compare(
                   static_cast<const EditLightsLight &>(other).sortKey(column)) < 0;
    case 1: {
        if (other.type() != LightType || other.type() != type())
            return false;
        const Light *theirs = static_cast<const EditLightsLight &>(other).light();
        return m_light && theirs && m_light->dmxChannel() < theirs->dmxChannel();
    }
    default:
        return false;
    }
}
