#include "pcsc/pcsc_api.h"

namespace pcsc {
namespace {

template <typename Function>
bool Bind(HMODULE library, const char* name, Function& function) {
    function = reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(library, name)));
    return function != nullptr;
}

const Api* Load() {
    // Kept loaded for the life of the process, as the POSIX half does.
    HMODULE library = LoadLibraryW(L"winscard.dll");
    if (library == nullptr) {
        return nullptr;
    }
    static Api api{};
    // The 8-bit variants: reader names stay plain char strings on both systems.
    const bool complete = Bind(library, "SCardEstablishContext", api.establishContext) &&
                          Bind(library, "SCardReleaseContext", api.releaseContext) &&
                          Bind(library, "SCardListReadersA", api.listReaders) &&
                          Bind(library, "SCardGetStatusChangeA", api.getStatusChange) &&
                          Bind(library, "SCardConnectA", api.connect) &&
                          Bind(library, "SCardDisconnect", api.disconnect) &&
                          Bind(library, "SCardReconnect", api.reconnect) &&
                          Bind(library, "SCardStatusA", api.status) &&
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
