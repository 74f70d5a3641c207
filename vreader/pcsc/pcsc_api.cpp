#include "pcsc/pcsc_api.h"

#include "pcsc/pcsc_library.h"

namespace pcsc {
namespace {

template <typename Function>
bool Bind(void* library, const char* name, NameVariants variants, Function& function) {
    function = reinterpret_cast<Function>(FindPcscFunction(library, name, variants));
    return function != nullptr;
}

const Api* Load() {
    void* library = OpenPcscLibrary();
    if (library == nullptr) {
        return nullptr;
    }
    constexpr auto kOne = NameVariants::kOne;
    constexpr auto kNamed = NameVariants::kEightBitAndWide;
    static Api api{};
    const bool complete = Bind(library, "SCardEstablishContext", kOne, api.establishContext) &&
                          Bind(library, "SCardReleaseContext", kOne, api.releaseContext) &&
                          Bind(library, "SCardListReaders", kNamed, api.listReaders) &&
                          Bind(library, "SCardGetStatusChange", kNamed, api.getStatusChange) &&
                          Bind(library, "SCardConnect", kNamed, api.connect) &&
                          Bind(library, "SCardDisconnect", kOne, api.disconnect) &&
                          Bind(library, "SCardReconnect", kOne, api.reconnect) &&
                          Bind(library, "SCardStatus", kNamed, api.status) &&
                          Bind(library, "SCardTransmit", kOne, api.transmit) &&
                          Bind(library, "SCardBeginTransaction", kOne, api.beginTransaction) &&
                          Bind(library, "SCardEndTransaction", kOne, api.endTransaction);
    return complete ? &api : nullptr;
}

}  // namespace

const Api* LoadApi() {
    static const Api* const api = Load();
    return api;
}

}  // namespace pcsc
