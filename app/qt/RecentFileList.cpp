#include "RecentFileList.h"

#include <QSettings>

namespace Orvista
{

namespace
{

const QString Section = QStringLiteral("Recent File List");

QString Key(int index)
{
    return QStringLiteral("%1/File%2").arg(Section).arg(index + 1);
}

} // namespace

void RecentFileList::Load()
{
    const QSettings settings;
    m_files.clear();
    for (int index = 0; index < m_capacity; ++index)
    {
        const QString path = settings.value(Key(index)).toString();
        if (!path.isEmpty() && !m_files.contains(path))
        {
            m_files.append(path);
        }
    }
}

void RecentFileList::Save() const
{
    QSettings settings;
    settings.remove(Section);
    for (int index = 0; index < m_files.size(); ++index)
    {
        settings.setValue(Key(index), m_files[index]);
    }
}

void RecentFileList::Add(const QString& path)
{
    m_files.removeAll(path);
    m_files.prepend(path);
    while (m_files.size() > m_capacity)
    {
        m_files.removeLast();
    }
}

void RecentFileList::Remove(const QString& path)
{
    m_files.removeAll(path);
}

} // namespace Orvista
