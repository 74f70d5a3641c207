#pragma once
// The failures a command of the program can end in, caught in one place: an error
// of the hierarchy, the framework's error, or memory running out. Whatever else is
// thrown passes on; in particular the unwinding of a thread ended by force must
// not be stopped.

#include <new>
#include <string>
#include <utility>

#include "errors/atl_exception.h"
#include "errors/com_srv_exception.h"

class CaughtError {
public:
    explicit CaughtError(const ICOMSrvException& error) : error_(&error) {}
    explicit CaughtError(const CAtlException& error) : framework_(&error) {}
    CaughtError() = default;  // memory ran out

    // The error of the hierarchy, or null. Valid while the handler runs.
    const ICOMSrvException* Error() const { return error_; }
    bool OutOfMemory() const { return error_ == nullptr && framework_ == nullptr; }
    // The text of the error box: "STATUS : source : description", the framework
    // error's status alone, or "Out of memory !".
    std::u16string Text() const;

private:
    const ICOMSrvException* error_ = nullptr;
    const CAtlException* framework_ = nullptr;
};

// Runs `work`; on one of the program's failures calls `onError` with it and
// returns false.
template <typename Work, typename OnError>
bool CatchProgramErrors(Work&& work, OnError&& onError) {
    try {
        std::forward<Work>(work)();
        return true;
    } catch (const ICOMSrvException& error) {
        std::forward<OnError>(onError)(CaughtError(error));
    } catch (const CAtlException& error) {
        std::forward<OnError>(onError)(CaughtError(error));
    } catch (const std::bad_alloc&) {
        std::forward<OnError>(onError)(CaughtError());
    }
    return false;
}
