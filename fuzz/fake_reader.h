#pragma once
// The program's card object over a reader library that answers from the fuzzer's input:
// stand-in entry points replace those the real bindings loaded, so selection, login,
// reads and the monitor's listing all run the program's own code over whatever a
// library might report (any count, tag type, serial length or status).

#include <cstddef>
#include <cstdint>
#include <vector>

#include "card/acr120_mifare.h"

namespace fuzz {

// The bytes the stand-ins answer with, read front to back; zeros once used up.
class Input {
public:
    Input(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    std::uint8_t Byte() { return at_ < size_ ? data_[at_++] : 0; }
    void Fill(std::uint8_t* out, std::size_t count) {
        for (std::size_t i = 0; i < count; ++i) {
            out[i] = Byte();
        }
    }
    bool Empty() const { return at_ >= size_; }
    std::size_t Position() const { return at_; }
    void Rewind(std::size_t position) { at_ = position; }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t at_ = 0;
};

// What the stand-ins answer and what they saw.
struct Library {
    Input* input = nullptr;  // listings and selections; null answers an empty field
    // Status of every call: the call numbered failAt (from 1) returns failCode.
    int calls = 0;
    int failAt = 0;
    std::int16_t failCode = 0;
    // The card behind the stand-ins' reads: its image and tag type.
    std::vector<std::uint8_t> image;
    std::uint8_t tagType = 0;
    int loggedInSector = -1;  // the sector of the last successful login
    // A USB listing changes the bytes past each serial number's length, as a library may
    // leave anything there.
    bool scramblePastLengths = false;
};
Library& TheLibrary();

// A status the program may meet: one of the library's error codes, or an odd success.
std::int16_t StatusFromByte(std::uint8_t byte);

class Card : public CACR120Mifare {
public:
    Card();  // loads the libraries beside the program, then puts the stand-ins in
    void Open(bool usb);
    bool LockIsFree();
    const SelectedTag& Selected() const { return card_; }
};

}  // namespace fuzz
