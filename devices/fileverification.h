#ifndef FILEVERIFICATION_H
#define FILEVERIFICATION_H

#include <QJsonObject>
#include <QString>

// Who reviewed a device definition file and when.
class FileVerification
{
public:
    FileVerification() = default;
    explicit FileVerification(const QJsonObject &object);

    bool verified() const { return m_verified; }
    QString verifiedBy() const { return m_verifiedBy; }
    QString verifiedDate() const { return m_verifiedDate; }
    void setVerified(bool verified) { m_verified = verified; }
    void setVerifiedBy(const QString &by) { m_verifiedBy = by; }
    void setVerifiedDate(const QString &date) { m_verifiedDate = date; }

private:
    bool m_verified = false;
    QString m_verifiedBy = QStringLiteral("Not Verified");
    QString m_verifiedDate = QStringLiteral("Not Verified");
};

#endif // FILEVERIFICATION_H
