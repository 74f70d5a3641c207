#pragma once
// How a caught error reaches the user: one modal message box owned by the main
// window. The box itself is the window layer's business, so errors/ stays free of
// any toolkit and sees only this small owner interface.

#include <cstdint>
#include <string>
#include <string_view>

#include "errors/atl_exception.h"
#include "errors/caught_error.h"
#include "errors/com_srv_exception.h"

// Message box styles and results, with their Win32 values so that every window
// layer agrees on them.
inline constexpr std::uint32_t kMbOk = 0x00;
inline constexpr std::uint32_t kMbYesNo = 0x04;
inline constexpr std::uint32_t kMbButtons = 0x0F;
inline constexpr std::uint32_t kMbIconError = 0x10;
inline constexpr std::uint32_t kMbIconQuestion = 0x20;
inline constexpr std::uint32_t kMbIconInformation = 0x40;
inline constexpr std::uint32_t kMbDefButton2 = 0x100;
inline constexpr int kIdOk = 1;
inline constexpr int kIdYes = 6;
inline constexpr int kIdNo = 7;

class IMessageBoxOwner {
public:
    // Shows a modal box and returns once the user has closed it.
    virtual int ShowMessageBox(std::u16string_view text, std::u16string_view caption,
                               std::uint32_t style) = 0;

protected:
    ~IMessageBoxOwner() = default;
};

inline constexpr std::u16string_view kErrorCaption = u"Error";
inline constexpr std::u16string_view kOutOfMemoryText = u"Out of memory !";

// "STATUS : source : description", the status as eight upper-case hex digits.
std::u16string FormatError(const ICOMSrvException& error);
// The framework error carries nothing but its HRESULT.
std::u16string FormatError(const CAtlException& error);

void ShowError(IMessageBoxOwner& owner, const ICOMSrvException& error);
void ShowError(IMessageBoxOwner& owner, const CAtlException& error);
void ShowError(IMessageBoxOwner& owner, const CaughtError& caught);
