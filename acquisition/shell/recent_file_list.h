#pragma once
// The four most recent files, kept in the per-user settings. The program adds
// none of its own, but it keeps whatever the store holds.

#include <QSettings>
#include <QStringList>

class RecentFileList {
public:
    static constexpr int kSize = 4;

    void Load(QSettings& settings);
    void Save(QSettings& settings) const;
    // Puts path first; an older entry of the same path and the oldest beyond
    // kSize are dropped.
    void Add(const QString& path);
    const QStringList& Files() const { return files_; }

private:
    QStringList files_;
};
