#include "app/program_end.h"

#include <cstdio>
#include <exception>
#include <string>

#include "platform/code_page.h"
#include "platform/threads.h"
#include "reader/acr120_base.h"
#include "reader/library_binding.h"

namespace app {

int RunWindowProgram(const std::function<void()>& runWindow) {
    // So that the notice is stored in the code page a Windows machine of the
    // same language would use.
    platform::FixAnsiCodePage();
    try {
        runWindow();
        FinishProgram("tagquill");
    } catch (const std::exception& error) {
        std::fprintf(stderr, "tagquill: %s\n", error.what());
    } catch (...) {
        std::fprintf(stderr, "tagquill: unexpected failure\n");
    }
    return 0;
}

void FinishProgram(const char* program) {
    const std::string loadFailure = reader_binding::LastLoadFailure();
    if (!loadFailure.empty()) {
        std::fprintf(stderr, "%s: reader library not loaded: %s\n", program, loadFailure.c_str());
    }
    if (CACR120Base::AnyMonitorLeftRunning()) {
        std::fprintf(stderr, "%s: the card monitor did not end; not waiting for it\n", program);
        platform::EndProcessNow(0);
    }
}

}  // namespace app
