#include "errors/com_srv_exception.h"

#include <new>

namespace {

void StoreText(std::u16string& target, const char16_t* text) noexcept {
    if (text == nullptr) {
        return;
    }
    try {
        target = text;
    } catch (const std::bad_alloc&) {
        target.clear();
    }
}

}  // namespace

CSrvExceptionBase::CSrvExceptionBase(HResult status, const char16_t* source,
                                     const char16_t* description)
    : status_(status) {
    StoreText(source_, source);
    StoreText(description_, description);
}

void CSrvExceptionBase::SetDescription(const std::u16string& description) noexcept {
    StoreText(description_, description.c_str());
}
