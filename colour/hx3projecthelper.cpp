#include "colour/hx3projecthelper.h"

#include <QDomDocument>

QDomElement Hx3ProjectHelper::writeColorList(QDomDocument &doc, bool *ok, const QStringList &uids,
                                             const QStringList &names, const QStringList &values,
                                             const QStringList &originatingPresets,
                                             const QStringList &colorIds)
{
    if (ok)
        *ok = true;
    QDomElement list = doc.createElement(QStringLiteral("ColorLibrary"));
    for (int i = 0; i < uids.size(); ++i) {
        QDomElement color = doc.createElement(QStringLiteral("Color"));
        color.setAttribute(QStringLiteral("name"), names.value(i));
        color.setAttribute(QStringLiteral("uid"), uids.at(i));
        color.setAttribute(QStringLiteral("value"), values.value(i));
        color.setAttribute(QStringLiteral("originatingPreset"), originatingPresets.value(i));
        color.setAttribute(QStringLiteral("colorId"), colorIds.value(i));
        list.appendChild(color);
    }
    return list;
}
