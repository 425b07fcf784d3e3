#include "colourtablesdigest.h"

#include "colour/fixturetypedescriptor.h"
#include "colour/fixturetypetable.h"
#include "colour/profile.h"
#include "colour/profiledatabase.h"

#include <QCryptographicHash>
#include <QTextStream>

QByteArray colourTablesDigest()
{
    QString text;
    QTextStream out(&text);
    out.setRealNumberPrecision(17);
    for (int id = 0; id < FixtureTypeTable::typeCount; ++id) {
        const FixtureTypeDescriptor *type = FixtureTypeTable::instance()->find(id);
        out << id << ' ' << type->colourType() << ' ' << type->curveType() << ' '
            << type->primaryMode() << ' ' << type->secondaryMode() << ' '
            << (type->profile() == ProfileDatabase::instance()->profile(id, type->colourType(), 0))
            << '\n';
        for (int set = 0; set < 2; ++set) {
            const Profile *p = ProfileDatabase::instance()->profile(id, type->colourType(), set);
            out << p->id() << ' ' << p->channelNames().join(QLatin1Char(',')) << '\n';
            for (int i = 0; i < p->xValues().size(); ++i)
                out << p->xValues().at(i) << ' ' << p->yValues().value(i) << ' '
                    << p->zValues().value(i) << '\n';
            for (const QPointF &point : p->gamutPoints())
                out << point.x() << ' ' << point.y() << '\n';
        }
    }
    out.flush();
    return QCryptographicHash::hash(text.toUtf8(), QCryptographicHash::Sha1).toHex();
}

const char expectedColourTablesDigest[] = "71d952aa4149ddb08adfd7a356f9af64a55fe220";
