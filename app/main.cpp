// vorlano: the desktop dictionary. One instance per executable path; the
// main window, then the data module (which opens the tables and shows the
// first entry), then the hidden help window.
#include <QDir>
#include <exception>

#include "app/application.h"
#include "app/help_window.h"
#include "app/main_window.h"
#include "app/password_dialog.h"
#include "app/single_instance.h"
#include "dictdata/datas.h"
#include "lookup/dictionary_lookup.h"

int main(int argc, char** argv) {
    vorlano::TVorlanoApplication app(argc, argv);
    vorlano::TSingleInstance instance(QCoreApplication::applicationFilePath());
    if (!instance.Claim()) return 0;

    vorlano::TPirinPasswordDialog::Install();
    vorlano::TfDictionary fDictionary(QCoreApplication::applicationDirPath());
    QObject::connect(&instance, &vorlano::TSingleInstance::restoreRequested, &fDictionary,
                     [&fDictionary] { fDictionary.RestoreWindow(); });
    fDictionary.show();

    vorlano::TDatas datas;
    try {
        datas.DataModuleCreate(fDictionary.ConnectData(datas));
    } catch (const std::exception& e) {
        vorlano::TVorlanoApplication::ShowError(QString::fromUtf8(e.what()));
    }

    vorlano::TfHelp fHelp(&fDictionary);
    fDictionary.SetHelpWindow(&fHelp);
    return app.exec();
}
