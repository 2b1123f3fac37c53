#include "Tfatura_basimi.h"
#include "Tfatura_bul.h"
#include "Tucretsiz_yazilimlar_icin_bilgi.h"

#include <QApplication>
#include <QDir>
#include <QFont>
#include <QLocale>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QLocale::setDefault(QLocale::system());
    // The forms were laid out for the narrow Windows sans-serif faces; Liberation Sans keeps
    // their widths, so captions fit the fixed boxes.
    for (const char* family : {"MS Sans Serif", "Microsoft Sans Serif", "Arial"})
        QFont::insertSubstitutions(QString::fromLatin1(family), {QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans")});

    const QString programFolder = QDir(QCoreApplication::applicationDirPath()).absolutePath() + QLatin1Char('/');
    fatura::Tfatura_basimi mainWindow(programFolder);
    fatura::archive::Tfatura_bul findDialog(mainWindow.archive(), &mainWindow);
    mainWindow.setFindDialog(&findDialog);
    fatura::Tucretsiz_yazilimlar_icin_bilgi information;
    mainWindow.setInformationWindow(&information);

    mainWindow.show();
    return app.exec();
}
