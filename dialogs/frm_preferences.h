#pragma once
// File > Preferences...: the settings of sylvane-extra.ini in one modal dialog, one row a setting.
// OK checks every row and names the first bad one with the values it takes (the dialog stays
// open), then writes the settings that were changed into their own lines of the file, every other
// line and comment kept byte for byte. A new setting is a new row of preferenceFields().

#include <QDialog>
#include <QString>

#include <functional>
#include <string>
#include <string_view>
#include <vector>

class QLabel;
class QLineEdit;
class QPushButton;

namespace sylvane::dialogs {

struct PreferenceField {
    // The key in sylvane-extra.ini.
    std::string key;
    QString label;
    // What the row takes and when a change takes effect, shown under it.
    QString hint;
    // Shown when the file has no line for the key.
    std::string defaultValue;
    // Why a value is not taken ("" when it is), as the end of a sentence naming the row and the
    // value (storage/extra_settings.h).
    std::function<std::string(std::string_view value)> problem;
};

// The rows of the dialog, in order.
std::vector<PreferenceField> preferenceFields();

class frmPreferences : public QDialog {
    Q_OBJECT
public:
    struct Options {
        // Where sylvane-extra.ini is read and written.
        std::string programFolder;
        std::vector<PreferenceField> fields = preferenceFields();
        // A few lines on what the settings are doing now (the OSC counts), under the rows.
        QString status;
    };

    explicit frmPreferences(Options options, QWidget* parent = nullptr);

    // The edit box of a key's row (nullptr for another key).
    QLineEdit* field(std::string_view key) const;
    QLabel* lblStatus = nullptr;
    QPushButton* cmdOK = nullptr;
    QPushButton* cmdCancel = nullptr;

    void cmdOK_Click();

private:
    struct Row {
        PreferenceField field;
        std::string shown;
        QLineEdit* edit = nullptr;
    };
    Options m_options;
    std::vector<Row> m_rows;
};

} // namespace sylvane::dialogs
