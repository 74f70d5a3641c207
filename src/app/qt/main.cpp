// Tagquill: one dialog that keeps a notice on a Mifare Classic card.

#include <QApplication>
#include <vector>

#include "app/card_session.h"
#include "app/main_dlg.h"
#include "app/program_end.h"
#include "app/qt/qt_dialog_window.h"
#include "app/qt/qt_translations.h"
#include "discovery/reader_discovery.h"
#include "platform/library.h"

int main(int argc, char* argv[]) {
    return app::RunWindowProgram([&] {
        QApplication application(argc, argv);
        const auto translations = app::qt::InstallQtTranslations();
        app::qt::QtDialogWindow window;
        app::RunMainDialog(
            window, app::MifareCardFactory(platform::ProgramModule()),
            [](std::vector<std::u16string>& names) { EnumReaders(names); },
            [&window] { return window.Run(); });
    });
}
