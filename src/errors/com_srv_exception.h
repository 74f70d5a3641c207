#pragma once
// The program's error hierarchy. Every failure its own layers detect is thrown
// by value as one of these and caught by reference to ICOMSrvException; each
// carries a status in HRESULT form, the name of the component that raised it,
// and a description already localised for the raising thread.

#include <string>

#include "errors/hresult.h"

class ICOMSrvException {
public:
    virtual HResult GetErrorCode() const = 0;
    virtual std::u16string GetDescription() const = 0;
    virtual std::u16string GetSource() const = 0;

protected:
    // Errors are never deleted through the interface.
    ~ICOMSrvException() = default;
};

class CSrvExceptionBase : public ICOMSrvException {
public:
    // A null text is stored as empty text.
    CSrvExceptionBase(HResult status, const char16_t* source, const char16_t* description);
    virtual ~CSrvExceptionBase() = default;
    CSrvExceptionBase(const CSrvExceptionBase&) = default;
    CSrvExceptionBase& operator=(const CSrvExceptionBase&) = default;

    HResult GetErrorCode() const override { return status_; }
    std::u16string GetDescription() const override { return description_; }
    std::u16string GetSource() const override { return source_; }

protected:
    // Storing a text may run out of memory; the error is then completed with
    // whatever could be stored, so that raising an error never fails.
    void SetDescription(const std::u16string& description) noexcept;

private:
    std::u16string source_;
    std::u16string description_;
    HResult status_;
};

// Source names.
inline constexpr const char16_t* kSourceMifare = u"PCSCCard_Mifare";
inline constexpr const char16_t* kSourceReaderBase = u"ACR120Base";
inline constexpr const char16_t* kSourceReaderLibrary = u"ACR120";
