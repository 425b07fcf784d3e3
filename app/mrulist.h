#ifndef MRULIST_H
#define MRULIST_H

#include <QString>
#include <QStringList>

// The recently used map files, most recent first, mirrored in the settings store under the
// top-level keys prefix + index ("/recentmap0", "/recentmap1", ...). Every change is written
// back at once, so a crash never leaves the store behind the menu.
class MRUList
{
public:
    // Reads up to maximum entries from the store; an empty prefix means "MRUList".
    MRUList(const QString &prefix, int maximum);

    void addFile(const QString &path);
    void removeFile(const QString &path);
    void setMaximum(int n);
    int maximum() const { return m_maximum; }
    const QStringList &files() const { return m_files; }
    QString prefix() const { return m_prefix; }
    void save() const;

private:
    void trim();

    QString m_prefix;
    int m_maximum = 0;
    QStringList m_files;
};

#endif // MRULIST_H
