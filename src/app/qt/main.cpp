// Tagquill: one dialog that keeps a notice on a Mifare Classic card.

#include <QApplication>
#include <cstdio>
#include <exception>
#include <vector>

#include "app/card_session.h"
#include "app/main_dlg.h"
#include "app/program_end.h"
#include "app/qt/qt_dialog_window.h"
#include "discovery/reader_discovery.h"
#include "platform/code_page.h"
#include "platform/library.h"

int main(int argc, char* argv[]) {
    // Before any text is converted, so that the notice is stored in the code page
    // a Windows machine of the same language would use.
    platform::FixAnsiCodePage();
    try {
        QApplication application(argc, argv);
        app::qt::QtDialogWindow window;
        app::RunMainDialog(
            window, app::MifareCardFactory(platform::ProgramModule()),
            [](std::vector<std::u16string>& names) { EnumReaders(names); },
            [&window] { return window.Run(); });
        app::FinishProgram("tagquill");
    } catch (const std::exception& error) {
        // The window's guard shows every error the program knows; this is the
        // last resort, and the program still ends normally.
        std::fprintf(stderr, "tagquill: %s\n", error.what());
    } catch (...) {
        std::fprintf(stderr, "tagquill: unexpected failure\n");
    }
    return 0;
}
