#pragma once
// The three lists a file chooser is built from, over Qt's file-system model: the folders
// (DirListBox, whose Path is the chosen folder), the files of one folder matching a pattern
// (FileListBox), and the mounted volumes (DriveListBox). Folders are read by the model in the
// background, so a list fills in shortly after its path is set.

#include <QComboBox>
#include <QListView>
#include <QStringList>
#include <QTreeView>

class QFileSystemModel;

namespace sylvane::platform {

class DirListBox : public QTreeView {
    Q_OBJECT
public:
    explicit DirListBox(const QString& controlName, QWidget* parent = nullptr);

    QString Path() const { return m_path; }
    // Shows and selects the folder; a folder that no longer exists gives way to its nearest
    // existing parent. Emits Change when the path changes.
    void setPath(const QString& path);

Q_SIGNALS:
    void Change();

protected:
    bool viewportEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void onCurrentChanged(const QModelIndex& current);

    QFileSystemModel* m_model = nullptr;
    QString m_path;
    bool m_followCurrent = false;
};

class FileListBox : public QListView {
    Q_OBJECT
public:
    explicit FileListBox(const QString& controlName, QWidget* parent = nullptr);

    QString Path() const { return m_path; }
    void setPath(const QString& path);
    // Wildcard patterns such as "*.tst", matched without regard to case.
    void setPattern(const QString& pattern);
    QString Pattern() const { return m_pattern; }

    // The selected file's name (no folder); empty when none is selected.
    QString FileName() const;
    // The names listed now, in list order.
    QStringList fileNames() const;
    // Selects a listed file by name; false when it is not (yet) listed.
    bool selectFile(const QString& name);
    QModelIndex indexOfFile(const QString& name) const;

Q_SIGNALS:
    void Click();
    void DblClick();

private:
    QFileSystemModel* m_model = nullptr;
    QString m_path;
    QString m_pattern;
};

class DriveListBox : public QComboBox {
    Q_OBJECT
public:
    explicit DriveListBox(const QString& controlName, QWidget* parent = nullptr);

    // Root folder of the chosen volume.
    QString Drive() const;
    // Chooses the volume that holds path, without raising Change.
    void showVolumeOf(const QString& path);

Q_SIGNALS:
    // The user chose a volume.
    void Change();
};

// Nearest folder at or above path that exists ("/" at worst).
QString nearestExistingFolder(const QString& path);

} // namespace sylvane::platform
