#include "app/program_end.h"

#include <cstdio>
#include <string>

#include "platform/threads.h"
#include "reader/acr120_base.h"
#include "reader/library_binding.h"

namespace app {

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
