#ifndef JSONFIXTURE_H
#define JSONFIXTURE_H

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

// Writes small JSON files into a private temporary folder, so that each parsing rule can be
// fed exactly the input it is about.
class JsonFixture
{
public:
    QString write(const QString &name, const QByteArray &content)
    {
        const QString path = m_dir.filePath(name);
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly))
            return QString();
        file.write(content);
        return path;
    }
    QString write(const QString &name, const QJsonObject &object)
    {
        return write(name, QJsonDocument(object).toJson());
    }
    QString path() const { return m_dir.path(); }

private:
    QTemporaryDir m_dir;
};

inline QJsonObject jsonObject(const char *text)
{
    return QJsonDocument::fromJson(QByteArray(text)).object();
}

#endif // JSONFIXTURE_H
