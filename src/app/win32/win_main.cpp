// Tagquill on Windows: one dialog that keeps a notice on a Mifare Classic card.

#include <windows.h>

#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "app/card_session.h"
#include "app/win32/win32_dialog_window.h"
#include "discovery/reader_discovery.h"
#include "platform/code_page.h"
#include "platform/library.h"
#include "platform/threads.h"
#include "reader/acr120_base.h"
#include "reader/library_binding.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE /*previous*/, PWSTR /*commandLine*/,
                    int /*show*/) {
    platform::FixAnsiCodePage();
    try {
        app::win32::RunMainDialog(instance, app::MifareCardFactory(platform::ProgramModule()),
                                  [](std::vector<std::u16string>& names) { EnumReaders(names); });
        // The box only says that a library is missing; a console that started
        // the program also learns which file, and why the system refused it.
        const std::string loadFailure = reader_binding::LastLoadFailure();
        if (!loadFailure.empty()) {
            std::fprintf(stderr, "tagquill: reader library not loaded: %s\n", loadFailure.c_str());
        }
        // Returning would unload the reader library under a monitor thread that
        // could not be ended and may still be inside it.
        if (CACR120Base::AnyMonitorLeftRunning()) {
            platform::EndProcessNow(0);
        }
    } catch (const std::exception& error) {
        std::fprintf(stderr, "tagquill: %s\n", error.what());
    } catch (...) {
        std::fprintf(stderr, "tagquill: unexpected failure\n");
    }
    return 0;
}
