#include "errors/show_error.h"

#include "ascii/hex.h"
#include "platform/code_page.h"

namespace {

// A negative status prints as its 32-bit pattern.
std::u16string Hex8(HResult status) {
    return platform::AsciiToUtf16(ascii::HexNumber(static_cast<std::uint32_t>(status), 8));
}

}  // namespace

std::u16string FormatError(const ICOMSrvException& error) {
    return Hex8(error.GetErrorCode()) + u" : " + error.GetSource() + u" : " +
           error.GetDescription();
}

std::u16string FormatError(const CAtlException& error) {
    return Hex8(error.GetHResult());
}

void ShowError(IMessageBoxOwner& owner, const ICOMSrvException& error) {
    owner.ShowMessageBox(FormatError(error), kErrorCaption, kMbOk | kMbIconError);
}

void ShowError(IMessageBoxOwner& owner, const CAtlException& error) {
    owner.ShowMessageBox(FormatError(error), kErrorCaption, kMbOk | kMbIconError);
}

std::u16string CaughtError::Text() const {
    if (error_ != nullptr) {
        return FormatError(*error_);
    }
    if (framework_ != nullptr) {
        return FormatError(*framework_);
    }
    return std::u16string(kOutOfMemoryText);
}

void ShowError(IMessageBoxOwner& owner, const CaughtError& caught) {
    if (caught.OutOfMemory()) {
        // Shown without building a text: there may be no memory for one.
        owner.ShowMessageBox(kOutOfMemoryText, kErrorCaption, kMbOk | kMbIconError);
        return;
    }
    owner.ShowMessageBox(caught.Text(), kErrorCaption, kMbOk | kMbIconError);
}
