#include "platform/file_list_boxes.h"

#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QKeyEvent>
#include <QStorageInfo>

namespace sylvane::platform {

QString nearestExistingFolder(const QString& path) {
    QString folder = QDir::cleanPath(path.isEmpty() ? QDir::rootPath() : path);
    while (!QFileInfo(folder).isDir()) {
        const QString parent = QFileInfo(folder).path();
        if (parent == folder) return QDir::rootPath();
        folder = parent;
    }
    return folder;
}

DirListBox::DirListBox(const QString& controlName, QWidget* parent) : QTreeView(parent) {
    setObjectName(controlName);
    m_model = new QFileSystemModel(this);
    m_model->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Drives);
    m_model->setRootPath(QDir::rootPath());
    setModel(m_model);
    for (int column = 1; column < m_model->columnCount(); ++column) hideColumn(column);
    setHeaderHidden(true);
    connect(selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& current) { onCurrentChanged(current); });
    // The model reads folders in the background and the rows above the chosen folder arrive
    // later: keep it in view until the user takes over the list.
    const auto follow = [this] {
        if (m_followCurrent) scrollTo(currentIndex(), QAbstractItemView::PositionAtCenter);
    };
    connect(m_model, &QFileSystemModel::directoryLoaded, this, follow);
    connect(m_model, &QAbstractItemModel::layoutChanged, this, follow);
    connect(m_model, &QAbstractItemModel::rowsInserted, this, follow);
}

bool DirListBox::viewportEvent(QEvent* event) {
    if (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::Wheel) {
        m_followCurrent = false;
    }
    return QTreeView::viewportEvent(event);
}

void DirListBox::keyPressEvent(QKeyEvent* event) {
    m_followCurrent = false;
    QTreeView::keyPressEvent(event);
}

void DirListBox::setPath(const QString& path) {
    const QModelIndex index = m_model->index(nearestExistingFolder(path));
    m_followCurrent = true;
    for (QModelIndex up = index.parent(); up.isValid(); up = up.parent()) expand(up);
    setCurrentIndex(index);
    scrollTo(index);
    // Selecting the folder already current changes nothing, but the path may still differ
    // (a trailing separator, a folder that was gone).
    onCurrentChanged(index);
}

void DirListBox::onCurrentChanged(const QModelIndex& current) {
    if (!current.isValid()) return;
    const QString path = QDir::cleanPath(m_model->filePath(current));
    if (path == m_path) return;
    m_path = path;
    Q_EMIT Change();
}

FileListBox::FileListBox(const QString& controlName, QWidget* parent) : QListView(parent) {
    setObjectName(controlName);
    m_model = new QFileSystemModel(this);
    // Files only; the pattern hides what does not match instead of greying it out.
    m_model->setFilter(QDir::Files);
    m_model->setNameFilterDisables(false);
    setModel(m_model);
    setSelectionMode(QAbstractItemView::SingleSelection);
    connect(this, &QListView::clicked, this, [this] { Q_EMIT Click(); });
    // A file is chosen by selecting it (a click, the arrow keys), not by the current item the
    // view sets by itself when the list takes the focus.
    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        if (!FileName().isEmpty()) Q_EMIT Click();
    });
    connect(this, &QListView::doubleClicked, this, [this] { Q_EMIT DblClick(); });
}

void FileListBox::setPath(const QString& path) {
    m_path = QDir::cleanPath(path);
    setRootIndex(m_model->setRootPath(m_path));
}

void FileListBox::setPattern(const QString& pattern) {
    m_pattern = pattern;
    // Without QDir::CaseSensitive in the filter the model matches patterns ignoring case, so
    // "*.tst" lists the ".Tst" files the program writes.
    m_model->setNameFilters(pattern.split(QLatin1Char(';'), Qt::SkipEmptyParts));
}

QString FileListBox::FileName() const {
    const QModelIndexList selected = selectionModel()->selectedIndexes();
    if (selected.isEmpty() || selected.front().parent() != rootIndex()) return {};
    return m_model->fileName(selected.front());
}

QStringList FileListBox::fileNames() const {
    QStringList names;
    const QModelIndex root = rootIndex();
    for (int row = 0; row < m_model->rowCount(root); ++row) {
        names << m_model->fileName(m_model->index(row, 0, root));
    }
    return names;
}

QModelIndex FileListBox::indexOfFile(const QString& name) const {
    const QModelIndex root = rootIndex();
    for (int row = 0; row < m_model->rowCount(root); ++row) {
        const QModelIndex index = m_model->index(row, 0, root);
        if (m_model->fileName(index) == name) return index;
    }
    return {};
}

bool FileListBox::selectFile(const QString& name) {
    const QModelIndex index = indexOfFile(name);
    if (!index.isValid()) return false;
    setCurrentIndex(index);
    return true;
}

DriveListBox::DriveListBox(const QString& controlName, QWidget* parent) : QComboBox(parent) {
    setObjectName(controlName);
    for (const QStorageInfo& volume : QStorageInfo::mountedVolumes()) {
        if (!volume.isValid() || !volume.isReady()) continue;
        const QString root = volume.rootPath();
        const QString name = volume.displayName();
        addItem(name.isEmpty() || name == root ? root : QStringLiteral("%1  [%2]").arg(root, name),
                root);
    }
    connect(this, &QComboBox::activated, this, [this] { Q_EMIT Change(); });
}

QString DriveListBox::Drive() const {
    return currentData().toString();
}

void DriveListBox::showVolumeOf(const QString& path) {
    const QString root = QStorageInfo(nearestExistingFolder(path)).rootPath();
    int index = findData(root);
    if (index < 0) {
        // A volume the list did not know when it was filled (mounted since).
        addItem(root, root);
        index = count() - 1;
    }
    setCurrentIndex(index);
}

} // namespace sylvane::platform
