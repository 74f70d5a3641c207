// Tagquill on Windows: one dialog that keeps a notice on a Mifare Classic card.

#include <windows.h>

#include <vector>

#include "app/card_session.h"
#include "app/main_dlg.h"
#include "app/program_end.h"
#include "app/win32/win32_dialog_window.h"
#include "discovery/reader_discovery.h"
#include "platform/library.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE /*previous*/, PWSTR /*commandLine*/,
                    int /*show*/) {
    return app::RunWindowProgram([&] {
        // The template is in the program's own module.
        app::win32::Win32DialogWindow window;
        app::RunMainDialog(
            window, app::MifareCardFactory(platform::ProgramModule()),
            [](std::vector<std::u16string>& names) { EnumReaders(names); },
            [&] { return window.Run(instance); });
    });
}
