#pragma once
// The guard of every function a reader library exports: nothing thrown inside may
// cross the C boundary into a program that cannot catch it.

#include <cstdint>
#include <exception>

#include "lib/cancellation.h"
#include "reader/acr120_api.h"

namespace vreader::lib {

// Catches what must not cross the C boundary. Only std::exception: a thread being
// cancelled unwinds with abi::__forced_unwind, which must pass untouched. Cancellation
// takes effect only in the call's sleeps (lib/cancellation.h).
template <typename Body>
std::int16_t GuardCBoundary(Body body) {
    const CancellationScope cancellation;
    try {
        return body();
    } catch (const std::exception&) {
        return acr120::rc::kInternalError;
    }
}

}  // namespace vreader::lib
