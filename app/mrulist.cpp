#include "mrulist.h"

#include <QSettings>

MRUList::MRUList(const QString &prefix, int maximum)
    : m_prefix(prefix.isEmpty() ? QStringLiteral("MRUList") : prefix), m_maximum(maximum)
{
    QSettings settings;
    for (int i = 0; i < m_maximum; ++i) {
        const QString file = settings.value(m_prefix + QString::number(i), QString()).toString();
        if (!file.isEmpty())
            m_files.append(file);
    }
}

void MRUList::addFile(const QString &path)
{
    m_files.removeOne(path);
    m_files.prepend(path);
    trim();
    save();
}

void MRUList::removeFile(const QString &path)
{
    m_files.removeOne(path);
    save();
}

void MRUList::setMaximum(int n)
{
    m_maximum = n;
    trim();
    save();
}

void MRUList::trim()
{
    while (m_files.size() > qMax(0, m_maximum))
        m_files.removeLast();
}

void MRUList::save() const
{
    QSettings settings;
    int i = 0;
    for (; i < m_files.size(); ++i)
        settings.setValue(m_prefix + QString::number(i), m_files.at(i));
    // Keys left over from a longer list run on without gaps; the first absent or empty one
    // ends them.
    for (;; ++i) {
        const QString key = m_prefix + QString::number(i);
        if (settings.value(key).toString().isEmpty())
            break;
        settings.remove(key);
    }
}
