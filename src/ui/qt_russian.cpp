#include "ui/qt_russian.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

namespace quorvel {

bool installQtRussian(QCoreApplication& app) {
    auto* translator = new QTranslator(&app);
    if (!translator->load(QStringLiteral("qtbase_ru"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete translator;
        return false;
    }
    return QCoreApplication::installTranslator(translator);
}

}  // namespace quorvel
