#include "dialogs/frm_file_manager.h"

#include "platform/file_list_boxes.h"
#include "platform/label.h"
#include "platform/message_box.h"
#include "platform/twips.h"
#include "storage/saved_sessions.h"
#include "storage/saved_set_writer.h"

#include <QDir>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QStorageInfo>

#include <utility>

namespace sylvane::dialogs {

namespace {

constexpr double kLabelTops[6] = {540, 1035, 1575, 2115, 2700, 3240};

QPushButton* button(QWidget* parent, const char* name, const QString& caption) {
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(QString::fromLatin1(name));
    // Enter belongs to the name box (txtFM_KeyUp), not to whichever button has the focus.
    b->setAutoDefault(false);
    b->setDefault(false);
    return b;
}

QString fromStd(const std::string& text) {
    return QString::fromStdString(text);
}

} // namespace

frmFileManager::frmFileManager(FileManagerHost& host, QWidget* parent)
    : QDialog(parent), m_host(host), m_vars(host.fileManagerVariables()) {
    setObjectName(QStringLiteral("frmFileManager"));
    setWindowTitle(QStringLiteral("File Manager"));
    setModal(true);
    resize(platform::toPixels(6735), platform::toPixels(4395));

    txtFM = new QLineEdit(this);
    txtFM->setObjectName(QStringLiteral("txtFM"));
    platform::setTwipsGeometry(txtFM, 90, 90, 2415, 285);
    txtFM->installEventFilter(this);

    dirFM = new platform::DirListBox(QStringLiteral("dirFM"), this);
    platform::setTwipsGeometry(dirFM, 90, 450, 2415, 1890);

    filFM = new platform::FileListBox(QStringLiteral("filFM"), this);
    filFM->setPattern(QStringLiteral("*.tst"));
    platform::setTwipsGeometry(filFM, 90, 2385, 2415, 1455);

    drvFM = new platform::DriveListBox(QStringLiteral("drvFM"), this);
    platform::setTwipsGeometry(drvFM, 90, 3915, 2415, 315);

    cmdAdd2List = button(this, "cmdAdd2List", QStringLiteral("Add ->"));
    platform::setTwipsGeometry(cmdAdd2List, 2700, 225, 1275, 330);
    cmdFileOption = button(this, "cmdFileOption", QString());
    platform::setTwipsGeometry(cmdFileOption, 2700, 1035, 1275, 675);
    cmdCancel = button(this, "cmdCancel", QStringLiteral("Cancel"));
    platform::setTwipsGeometry(cmdCancel, 2700, 2835, 1275, 675);

    QFont labelFont(QStringLiteral("MS Sans Serif"));
    labelFont.setPointSizeF(9.75);
    labelFont.setBold(true);
    for (int i = 0; i < 6; ++i) {
        auto* label = new platform::Label(QStringLiteral("lblFile2Display(%1)").arg(i), this);
        label->setCaption(QStringLiteral("File to Display"));
        label->setSingleBorder(true);
        label->setFont(labelFont);
        label->setForeColor(0x000000);
        label->setBackColor(storage::kTraceColors[static_cast<std::size_t>(i)]);
        platform::setTwipsGeometry(label, 4275, kLabelTops[i], 2265, 330);
        lblFile2Display[static_cast<std::size_t>(i)] = label;
    }

    setTabOrder(txtFM, dirFM);
    setTabOrder(dirFM, filFM);
    setTabOrder(filFM, drvFM);
    setTabOrder(drvFM, cmdAdd2List);
    setTabOrder(cmdAdd2List, cmdFileOption);
    setTabOrder(cmdFileOption, cmdCancel);

    connect(drvFM, &platform::DriveListBox::Change, this, [this] { drvFM_Change(); });
    connect(dirFM, &platform::DirListBox::Change, this, [this] { dirFM_Change(); });
    connect(filFM, &platform::FileListBox::Click, this, [this] { filFM_Click(); });
    connect(filFM, &platform::FileListBox::DblClick, this, [this] { filFM_DblClick(); });
    connect(cmdAdd2List, &QPushButton::clicked, this, [this] { cmdAdd2List_Click(); });
    connect(cmdFileOption, &QPushButton::clicked, this, [this] { cmdFileOption_Click(); });
    connect(cmdCancel, &QPushButton::clicked, this, [this] { cmdCancel_Click(); });

    Form_Load();
    txtFM->setFocus();
}

void frmFileManager::setWidth(double twips) {
    const int frame = frameGeometry().width() - width();
    resize(std::max(1, platform::toPixels(twips) - frame), height());
}

void frmFileManager::Form_Load() {
    m_vars.displayFileCount = 0;
    for (std::size_t i = 0; i < 6; ++i) {
        lblFile2Display[i]->setCaption(QStringLiteral("File to Display"));
        m_vars.displayTstFiles[i].clear();
        m_vars.displayHdrFiles[i].clear();
    }
    drvFM->showVolumeOf(m_vars.appPath);
    dirFM->setPath(m_vars.appPath);
}

void frmFileManager::drvFM_Change() {
    // The volume that holds the remembered folder opens on it; any other on its root.
    const QString drive = drvFM->Drive();
    const QString remembered = platform::nearestExistingFolder(m_vars.appPath);
    if (QStorageInfo(remembered).rootPath() == drive) {
        dirFM->setPath(m_vars.appPath);
    } else {
        dirFM->setPath(drive);
    }
}

void frmFileManager::dirFM_Change() {
    m_vars.appPath = dirFM->Path();
    filFM->setPath(dirFM->Path());
}

void frmFileManager::filFM_Click() {
    const QString name = filFM->FileName();
    if (!name.isEmpty()) txtFM->setText(name);
}

void frmFileManager::filFM_DblClick() {
    filFM_Click();
    defaultAction();
}

void frmFileManager::txtFM_KeyUp(int keyCode, int /*shift*/) {
    if (keyCode == 13) defaultAction();
}

bool frmFileManager::eventFilter(QObject* watched, QEvent* event) {
    const bool press = event->type() == QEvent::KeyPress;
    if (watched == txtFM && (press || event->type() == QEvent::KeyRelease)) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
        if (press) {
            if (enter) m_enterDown = true;
        } else if (!key->isAutoRepeat() && (!enter || std::exchange(m_enterDown, false))) {
            txtFM_KeyUp(enter ? 13 : key->key(), static_cast<int>(key->modifiers()));
        }
    }
    return QDialog::eventFilter(watched, event);
}

void frmFileManager::keyPressEvent(QKeyEvent* event) {
    // Esc is Cancel; the close box, unlike Cancel, keeps the list chosen so far.
    if (event->matches(QKeySequence::Cancel)) {
        cmdCancel_Click();
        return;
    }
    QDialog::keyPressEvent(event);
}

void frmFileManager::defaultAction() {
    if (cmdFileOption->text() == QStringLiteral("Display")) {
        cmdAdd2List_Click();
    } else {
        cmdFileOption_Click();
    }
}

std::optional<ParsedFilePath> frmFileManager::buildPath() {
    const std::string typed = txtFM->text().toStdString();
    if (isReservedName(typed)) {
        m_vars.lastMsgBoxResult = platform::MsgBox(QString::fromLatin1(kReservedNameText),
                                                   platform::vbOKOnly | platform::vbInformation);
        return std::nullopt;
    }
    m_vars.displayTstPath = fromStd(joinFolderAndName(dirFM->Path().toStdString(), typed));
    ParsedFilePath parsed = ParseFilePath(m_vars.displayTstPath.toStdString());
    if (parsed.outcome == ParsedFilePath::Outcome::NotAbsolute) {
        m_vars.lastMsgBoxResult = platform::MsgBox(QString::fromLatin1(kNotAbsoluteText));
        m_vars.displayTstPath.clear();
        return std::nullopt;
    }
    m_vars.appPath = QDir::cleanPath(fromStd(parsed.folder));
    if (!parsed.parsed()) {
        m_vars.displayTstPath.clear();
        return std::nullopt;
    }
    useNamesOnDisk(parsed);
    m_vars.displayTstPath = fromStd(parsed.tstPath);
    m_vars.displayHdrPath = fromStd(parsed.hdrPath);
    return parsed;
}

void frmFileManager::cmdAdd2List_Click() {
    const std::optional<ParsedFilePath> parsed = buildPath();
    if (!parsed) return;
    const storage::TargetProbe probe = storage::probeFile(parsed->tstPath);
    if (probe.state != storage::TargetState::Exists) {
        m_vars.lastMsgBoxResult = platform::MsgBox(fromStd(probe.description),
                                                   platform::vbOKOnly | platform::vbExclamation,
                                                   QString::fromLatin1(kAccessErrorTitle));
        return;
    }
    if (m_vars.displayFileCount >= 6) {
        cmdFileOption_Click();
        return;
    }
    const auto slot = static_cast<std::size_t>(m_vars.displayFileCount);
    lblFile2Display[slot]->setCaption(txtFM->text());
    m_vars.displayTstFiles[slot] = fromStd(parsed->tstPath);
    m_vars.displayHdrFiles[slot] = fromStd(parsed->hdrPath);
    ++m_vars.displayFileCount;
    if (m_vars.displayFileCount >= 6) cmdFileOption_Click();
}

void frmFileManager::cmdFileOption_Click() {
    const std::optional<ParsedFilePath> parsed = buildPath();
    if (!parsed) return;
    if (cmdFileOption->text() == QStringLiteral("Display")) {
        // Only the list is displayed; a name typed but not added is not.
        accept();
        return;
    }
    if (cmdFileOption->text() != QStringLiteral("Save")) return;
    saveTo(*parsed);
}

void frmFileManager::saveTo(const ParsedFilePath& target) {
    const std::filesystem::path working = m_host.programFolder().toStdString();
    const storage::SaveTargets targets{target.tstPath, target.txtPath, target.hdrPath};

    // Whatever was typed, the working files are never written over or copied onto themselves.
    if (storage::targetsWorkingSet(targets, working)) {
        m_vars.lastMsgBoxResult = platform::MsgBox(QString::fromLatin1(kReservedNameText),
                                                   platform::vbOKOnly | platform::vbInformation);
        return;
    }

    if (m_host.sessionComments().isEmpty()) m_host.setSessionComments(QStringLiteral(" "));
    std::string error;
    if (!storage::refreshWorkingHeader(working, m_host.sessionComments().toStdString(), &error,
                                       m_host.unwrittenHeader())) {
        m_vars.lastMsgBoxResult =
            platform::MsgBox(fromStd(error), platform::vbOKOnly | platform::vbExclamation);
        return;
    }

    const storage::TargetProbe probe = storage::probeFile(targets.tst);
    if (probe.state == storage::TargetState::Exists) {
        m_vars.lastMsgBoxResult = platform::MsgBox(QString::fromLatin1(kOverwriteText),
                                                   platform::vbYesNo | platform::vbQuestion);
        if (m_vars.lastMsgBoxResult == platform::vbNo) return;
    } else if (probe.state == storage::TargetState::Unusable) {
        m_vars.lastMsgBoxResult = platform::MsgBox(fromStd(probe.description),
                                                   platform::vbOKOnly | platform::vbInformation);
        return;
    }

    // A copy that fails is reported and the dialog stays open, so the user can choose another
    // place: the session is never believed saved when it is not.
    if (!storage::copyWorkingSet(working, targets, &error)) {
        m_vars.lastMsgBoxResult =
            platform::MsgBox(fromStd(error), platform::vbOKOnly | platform::vbExclamation);
        return;
    }
    accept();
}

void frmFileManager::cmdCancel_Click() {
    m_vars.displayFileCount = 0;
    reject();
}

} // namespace sylvane::dialogs
