#include "errors/show_error.h"

namespace {

std::u16string Hex8(HResult status) {
    static constexpr char16_t kDigits[] = u"0123456789ABCDEF";
    // A negative status prints as its 32-bit pattern.
    auto bits = static_cast<std::uint32_t>(status);
    std::u16string text(8, u'0');
    for (int i = 7; i >= 0; --i) {
        text[static_cast<std::size_t>(i)] = kDigits[bits & 0xF];
        bits >>= 4;
    }
    return text;
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
