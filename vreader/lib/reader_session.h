#pragma once
// A reader opened through the library: its folder, the lock that makes a second open
// "occupied", and the card it has selected and authenticated to.

#include <unistd.h>

#include <filesystem>
#include <mutex>
#include <optional>
#include <string>

#include "core/mifare.h"

namespace vreader::lib {

struct ReaderSession {
    std::filesystem::path readerDir;
    std::filesystem::path stateDir;
    int openLockFd = -1;  // holds the flock for as long as the reader is open

    std::mutex mutex;  // guards everything below
    bool cardSelected = false;
    std::string cardFileName;  // the selected card's image in the field
    mifare::Bytes uid;
    std::optional<int> authenticatedSector;
    mifare::Key authenticatedKey = mifare::Key::kA;

    ReaderSession() = default;
    ReaderSession(const ReaderSession&) = delete;
    ReaderSession& operator=(const ReaderSession&) = delete;
    ~ReaderSession() {
        if (openLockFd >= 0) {
            ::close(openLockFd);
        }
    }

    void Deselect() {
        cardSelected = false;
        authenticatedSector.reset();
    }
};

}  // namespace vreader::lib
