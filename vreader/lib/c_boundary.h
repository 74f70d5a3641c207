#pragma once
// The guard of every function a reader library exports: nothing thrown inside may
// cross the C boundary into a program that cannot catch it.

#include <cstdint>
#include <exception>

#include "lib/cancellation.h"
#include "reader/acr120_api.h"

namespace vreader::lib {

// Catches what must not cross the C boundary. Only std::exception: a thread being
// cancelled unwinds with abi::__forced_unwind, which must pass untouched.
template <typename Body>
std::int16_t CatchAtCBoundary(Body body) {
    try {
        return body();
    } catch (const std::exception&) {
        return acr120::rc::kInternalError;
    }
}

// The guard of a call that does the work itself: it also holds thread cancellation
// off, so that cancellation takes effect only in the call's sleeps
// (lib/cancellation.h). Not nested: an inner guard would take the outer one's
// setting for the caller's.
template <typename Body>
std::int16_t GuardCBoundary(Body body) {
    const CancellationScope cancellation;
    return CatchAtCBoundary(body);
}

}  // namespace vreader::lib
