#include "dialogs/frm_preferences.h"

#include "platform/message_box.h"
#include "platform/number_rules.h"
#include "storage/extra_settings.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace sylvane::dialogs {

namespace {

const QString kTitle = QStringLiteral("Preferences");

QString fromStd(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

} // namespace

std::vector<PreferenceField> preferenceFields() {
    using namespace storage;
    return {
        {kReconnectWaitKey, QStringLiteral("Wait for a lost probe (s)"),
         QStringLiteral("0 to 3600; 0 ends the session at once. Read whenever a port is lost."),
         std::to_string(kDefaultReconnectWait), reconnectWaitProblem},
        {kResponseThresholdKey, QStringLiteral("Skin-response threshold (uS)"),
         QStringLiteral(
             "Above 0 and below 100. The count takes it at the next Start, the exports at once."),
         "0.05", responseThresholdProblem},
        {kResponseWindowKey, QStringLiteral("Responses to a marker (s after it)"),
         QStringLiteral("from,to: a response belongs to a marker when its onset is in this window. "
                        "0 to 60, such as 1,4. Taken at the next export."),
         "1,4", responseWindowProblem},
        {kOscMarkerPortKey, QStringLiteral("OSC markers: UDP port"),
         QStringLiteral("1 to 65535, or 0 to take no markers. Taken at the next Start."), "0",
         oscMarkerPortProblem},
        {kOscMarkerAddressKey, QStringLiteral("OSC markers: address"),
         QStringLiteral("127.0.0.1 takes markers from this computer only, 0.0.0.0 from every "
                        "network. Taken at the next Start."),
         kDefaultOscMarkerAddress, oscMarkerAddressProblem},
        {kOscSendToKey, QStringLiteral("OSC readings to (host:port)"),
         QStringLiteral("Such as 127.0.0.1:9001; empty sends nothing. Taken at the next Start."),
         "", oscSendToProblem},
        {kToneBaseHzKey, QStringLiteral("Tone: pitch at the start (Hz)"),
         QStringLiteral("50 to 4000: the pitch at the session's reference reading. Taken at the "
                        "next Start."),
         "440", toneBaseHzProblem},
        {kToneOctavesKey, QStringLiteral("Tone: octaves a doubling"),
         QStringLiteral("Above 0 and at most 10: how far the pitch moves when conductance "
                        "doubles. Taken at the next Start."),
         "1", toneOctavesProblem},
        {kToneVolumeKey, QStringLiteral("Tone: volume"),
         QStringLiteral("0 to 100. Taken at the next Start."), "40", toneVolumeProblem},
        {kUnsavedKeptKey, QStringLiteral("Unsaved sessions kept"),
         QStringLiteral("1 to 100000: how many sessions that were never saved unsaved/ keeps; "
                        "the oldest go first. Taken at the next Start."),
         std::to_string(kDefaultUnsavedKept), unsavedKeptProblem},
    };
}

frmPreferences::frmPreferences(Options options, QWidget* parent)
    : QDialog(parent), m_options(std::move(options)) {
    setObjectName(QStringLiteral("frmPreferences"));
    setWindowTitle(kTitle);
    setModal(true);

    const std::string text = storage::extraSettingsText(m_options.programFolder);
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    layout->addLayout(form);
    for (const PreferenceField& f : m_options.fields) {
        Row row{f, storage::extraSetting(text, f.key).value_or(f.defaultValue), nullptr};
        auto* cell = new QWidget(this);
        auto* cellLayout = new QVBoxLayout(cell);
        cellLayout->setContentsMargins(0, 0, 0, 0);
        row.edit = new QLineEdit(fromStd(row.shown), cell);
        row.edit->setObjectName(QStringLiteral("txt") + fromStd(f.key));
        auto* hint = new QLabel(f.hint, cell);
        hint->setWordWrap(true);
        hint->setEnabled(false);
        cellLayout->addWidget(row.edit);
        cellLayout->addWidget(hint);
        form->addRow(f.label, cell);
        m_rows.push_back(std::move(row));
    }

    lblStatus = new QLabel(m_options.status, this);
    lblStatus->setObjectName(QStringLiteral("lblStatus"));
    lblStatus->setWordWrap(true);
    lblStatus->setVisible(!m_options.status.isEmpty());
    layout->addWidget(lblStatus);

    auto* buttons = new QDialogButtonBox(this);
    cmdOK = buttons->addButton(QDialogButtonBox::Ok);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdCancel = buttons->addButton(QDialogButtonBox::Cancel);
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    layout->addWidget(buttons);
    connect(cmdOK, &QPushButton::clicked, this, [this] { cmdOK_Click(); });
    connect(cmdCancel, &QPushButton::clicked, this, &QDialog::reject);
}

QLineEdit* frmPreferences::field(std::string_view key) const {
    for (const Row& row : m_rows)
        if (row.field.key == key) return row.edit;
    return nullptr;
}

void frmPreferences::cmdOK_Click() {
    std::vector<std::string> values;
    for (const Row& row : m_rows) {
        const std::string value = platform::trimmed(row.edit->text().toStdString());
        const std::string problem = row.field.problem ? row.field.problem(value) : std::string();
        if (!problem.empty()) {
            platform::MsgBox(row.field.label + QStringLiteral(": \"") + fromStd(value) +
                                 QStringLiteral("\" ") + fromStd(problem) + QStringLiteral("."),
                             platform::vbOKOnly | platform::vbExclamation, kTitle);
            row.edit->setFocus();
            row.edit->selectAll();
            return;
        }
        values.push_back(value);
    }
    // The file as it is now, so that a line written by hand while the dialog was open stays.
    std::string text;
    std::string error;
    bool changed = false;
    bool ok = storage::readExtraSettingsText(m_options.programFolder, &text, &error);
    for (std::size_t i = 0; ok && i < m_rows.size(); ++i) {
        if (values[i] == m_rows[i].shown) continue;
        text = storage::withExtraSetting(text, m_rows[i].field.key, values[i]);
        changed = true;
    }
    if (ok && changed) ok = storage::writeExtraSettingsText(m_options.programFolder, text, &error);
    if (!ok) {
        platform::MsgBox(QStringLiteral("The settings could not be written:\r\n") + fromStd(error),
                         platform::vbOKOnly | platform::vbExclamation, kTitle);
        return;
    }
    accept();
}

} // namespace sylvane::dialogs
