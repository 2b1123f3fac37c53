#include "Tfatura_basimi.h"
#include "Tfatura_bul.h"
#include "Tucretsiz_yazilimlar_icin_bilgi.h"

#include <QApplication>
#include <QDir>
#include <QLocale>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QLocale::setDefault(QLocale::system());

    const QString programFolder = QDir(QCoreApplication::applicationDirPath()).absolutePath() + QLatin1Char('/');
    fatura::Tfatura_basimi mainWindow(programFolder);
    fatura::archive::Tfatura_bul findDialog(mainWindow.archive(), &mainWindow);
    mainWindow.setFindDialog(&findDialog);
    fatura::Tucretsiz_yazilimlar_icin_bilgi information;
    mainWindow.setInformationWindow(&information);
    // Ending the loop also gives back a preview's call, so an open preview never holds the program.
    QObject::connect(&mainWindow, &fatura::Tfatura_basimi::closed, &app, &QCoreApplication::quit);

    mainWindow.show();
    return app.exec();
}
