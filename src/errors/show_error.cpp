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
