#include "fileverification.h"

FileVerification::FileVerification(const QJsonObject &object)
{
    if (object.contains(QLatin1String("Verified")))
        m_verified = object.value(QLatin1String("Verified")).toBool();
    if (object.contains(QLatin1String("Verified By")))
        m_verifiedBy = object.value(QLatin1String("Verified By")).toString();
    if (object.contains(QLatin1String("Verified Date")))
        m_verifiedDate = object.value(QLatin1String("Verified Date")).toString();
}
