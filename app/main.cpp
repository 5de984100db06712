#include "app/frm_sylvane.h"
#include "app/version.h"
#include "platform/program_folder.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QString::fromLatin1(sylvane::app::kAppTitle));
    QApplication::setApplicationVersion(QStringLiteral("1.1.8"));

    sylvane::app::frmSylvane window({sylvane::platform::programFolder(), {}});
    window.Form_Load();
    if (window.exitRequested()) return 0;
    window.show();
    return QApplication::exec();
}
