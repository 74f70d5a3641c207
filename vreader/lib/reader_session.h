#pragma once
// A reader opened through the library: its folder, the lock that makes a second open
// "occupied", and the card it has selected and authenticated to.

#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "core/files.h"
#include "core/mifare.h"

namespace vreader::lib {

struct ReaderSession {
    std::filesystem::path readerDir;
    std::filesystem::path stateDir;
    std::unique_ptr<files::FileLock> openLock;  // held for as long as the reader is open

    std::mutex mutex;  // guards everything below
    bool cardSelected = false;
    std::string cardFileName;  // the selected card's image in the field
    card_model::Bytes uid;
    std::optional<int> authenticatedSector;
    card_model::Key authenticatedKey = card_model::Key::kA;

    ReaderSession() = default;
    ReaderSession(const ReaderSession&) = delete;
    ReaderSession& operator=(const ReaderSession&) = delete;
    ~ReaderSession() = default;

    void Deselect() {
        cardSelected = false;
        authenticatedSector.reset();
    }
};

}  // namespace vreader::lib
