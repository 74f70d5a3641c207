#include <dlfcn.h>

#include "pcsc/pcsc_api.h"

namespace pcsc {
namespace {

template <typename Function>
bool Bind(void* library, const char* name, Function& function) {
    function = reinterpret_cast<Function>(dlsym(library, name));
    return function != nullptr;
}

const Api* Load() {
    // Never closed: other threads may still be inside one of its functions when
    // the process ends.
    void* library = dlopen("libpcsclite.so.1", RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        return nullptr;
    }
    static Api api{};
    const bool complete = Bind(library, "SCardEstablishContext", api.establishContext) &&
                          Bind(library, "SCardReleaseContext", api.releaseContext) &&
                          Bind(library, "SCardListReaders", api.listReaders) &&
                          Bind(library, "SCardGetStatusChange", api.getStatusChange) &&
                          Bind(library, "SCardConnect", api.connect) &&
                          Bind(library, "SCardDisconnect", api.disconnect) &&
                          Bind(library, "SCardReconnect", api.reconnect) &&
                          Bind(library, "SCardStatus", api.status) &&
                          Bind(library, "SCardTransmit", api.transmit) &&
                          Bind(library, "SCardBeginTransaction", api.beginTransaction) &&
                          Bind(library, "SCardEndTransaction", api.endTransaction);
    return complete ? &api : nullptr;
}

}  // namespace

const Api* LoadApi() {
    static const Api* const api = Load();
    return api;
}

}  // namespace pcsc
