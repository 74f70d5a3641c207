#include "app/qt/qt_translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>

#include "errors/language.h"

namespace app::qt {

std::unique_ptr<QTranslator> InstallQtTranslations() {
    // The program's texts are Russian or English; Qt's follow them rather than
    // the desktop's language, which could put German buttons under Russian text.
    if (!IsRussianThread()) {
        return nullptr;
    }
    auto translator = std::make_unique<QTranslator>();
    if (!translator->load(QLocale(QLocale::Russian), QStringLiteral("qtbase"), QStringLiteral("_"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath)) ||
        !QCoreApplication::installTranslator(translator.get())) {
        return nullptr;
    }
    return translator;
}

}  // namespace app::qt
