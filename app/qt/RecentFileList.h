#pragma once

#include <QString>
#include <QStringList>

namespace Orvista
{

// The most recently opened files, newest first, kept in the program's settings under
// "Recent File List" as File1, File2, ...
class RecentFileList
{
public:
    explicit RecentFileList(int capacity) : m_capacity(capacity) {}

    void Load();
    void Save() const;

    // Puts path first, removing an older entry of it and the entries beyond the capacity.
    void Add(const QString& path);
    void Remove(const QString& path);

    const QStringList& Files() const { return m_files; }
    int Capacity() const { return m_capacity; }

private:
    int m_capacity;
    QStringList m_files;
};

} // namespace Orvista
