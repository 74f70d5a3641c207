// Tagquill: one dialog that keeps a notice on a Mifare Classic card.

#include <QApplication>
#include <cstdio>
#include <exception>
#include <string>

#include "app/card_session.h"
#include "app/qt/qt_dialog_window.h"
#include "discovery/reader_discovery.h"
#include "platform/code_page.h"
#include "platform/library.h"
#include "platform/threads.h"
#include "reader/acr120_base.h"
#include "reader/library_binding.h"

int main(int argc, char* argv[]) {
    // Before any text is converted, so that the notice is stored in the code page
    // a Windows machine of the same language would use.
    platform::FixAnsiCodePage();
    try {
        QApplication application(argc, argv);
        app::qt::RunMainDialog(app::MifareCardFactory(platform::ProgramModule()),
                               [](std::vector<std::u16string>& names) { EnumReaders(names); });
        // The box only says that a library is missing; a terminal also learns
        // which file, and why the system would not load it.
        const std::string loadFailure = reader_binding::LastLoadFailure();
        if (!loadFailure.empty()) {
            std::fprintf(stderr, "tagquill: reader library not loaded: %s\n", loadFailure.c_str());
        }
        // Returning would tear down the reader library and the runtime under a
        // monitor thread that could not be ended and may still be inside them.
        if (CACR120Base::AnyMonitorLeftRunning()) {
            std::fprintf(stderr, "tagquill: the card monitor did not end; not waiting for it\n");
            platform::EndProcessNow(0);
        }
    } catch (const std::exception& error) {
        // The window's guard shows every error the program knows; this is the
        // last resort, and the program still ends normally.
        std::fprintf(stderr, "tagquill: %s\n", error.what());
    } catch (...) {
        std::fprintf(stderr, "tagquill: unexpected failure\n");
    }
    return 0;
}
