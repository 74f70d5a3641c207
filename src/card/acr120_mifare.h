#pragma once
// The card-access object: the reader connection plus everything that knows how a
// Mifare Classic 1K or 4K card is organised. It authenticates one sector at a
// time, reads and writes blocks of that sector, and lays a linear byte range over
// the card's data blocks, logging in sector after sector as the range crosses
// sector borders.
//
// Card operations take no lock: they run between ConnectCard and DisconnectCard,
// while the card-connected flag keeps the presence monitor off the reader.

#include <cstdint>
#include <vector>

#include "card/mifare_geometry.h"
#include "reader/acr120_base.h"

class CACR120Mifare : public CACR120Base {
public:
    // The program hands in its presence monitor: the card layer does not pick one.
    explicit CACR120Mifare(PresenceMonitorFactory makeMonitor);
    CACR120Mifare(const platform::ModuleRef& module, PresenceMonitorFactory makeMonitor,
                  LibraryLoading loading = LibraryLoading::kBothAtConstruction);

    // Selects the card; anything but a Mifare Classic 1K or 4K card is released
    // again and refused. A successful selection forgets the last login.
    void ConnectCard() override;

    // Geometry of the selected card; "Card was not connected" without one.
    std::uint16_t GetCardType() const;
    std::uint8_t GetSectorCount() const;     // 16, 40, or 0 for another type
    std::uint8_t GetDataBlockCount() const;  // 47, 215, or 0 for another type

    // Need no card. GetFirstBlock refuses sectors above 39.
    static std::uint8_t GetFirstBlock(std::uint8_t sector);
    static std::uint8_t GetTrailerBlock(std::uint8_t block) {
        return mifare::TrailerOfBlock(block);
    }

    void CheckCardConnected() const;

    // Authenticates a sector of the selected card with a key of the key cache
    // (storedKey false) or of the reader's key store, and remembers the login.
    void Login(std::uint8_t sector, bool storedKey, std::uint8_t keyType, std::uint8_t keyIndex);

    // Block access within the authenticated sector. ReadBlock leaves exactly 16
    // bytes in the read buffer.
    void ReadBlock(std::uint8_t block);
    void WriteBlock(std::uint8_t block, const std::uint8_t* data);
    // Writes the trailer of `sector`: key A, the access bytes of the four
    // conditions, 0x00, key B.
    void WriteTrailer(std::uint8_t sector, const std::uint8_t* keyA, const std::uint8_t* keyB,
                      std::uint8_t c0, std::uint8_t c1, std::uint8_t c2, std::uint8_t c3);

    // A caller's block map: no block 0, no trailer, no repeat, only blocks of the
    // card, at most as many entries as the card has data blocks.
    void CheckBlockMap(const std::uint8_t* map, std::uint8_t count) const;

    // Linear data access over `map` (count 0: the card type's default map).
    // ReadData leaves exactly `length` bytes in the read buffer.
    void ReadData(const std::uint8_t* map, std::uint8_t count, std::uint32_t offset,
                  std::uint32_t length);
    void WriteData(const std::uint8_t* map, std::uint8_t count, std::uint32_t offset,
                   const std::uint8_t* data, std::uint32_t length);

    const std::vector<std::uint8_t>& ReadBuffer() const { return readBuffer_; }

    // The authentication cache, for tests.
    static constexpr std::uint16_t kNoSector = 0xFFFF;
    std::uint16_t AuthenticatedSector() const { return authenticatedSector_; }
    std::uint8_t LastKeyType() const { return lastKeyType_; }
    std::uint8_t LastKeyIndex() const { return lastKeyIndex_; }
    bool LastLoginUsedStoredKey() const { return storedKeyLogin_; }

private:
    void ForgetLogin();
    void CheckInAuthenticatedSector(std::uint8_t block) const;
    // The map to run through and its length; the default map for count 0.
    const std::uint8_t* ResolveMap(const std::uint8_t* map, std::uint8_t& count) const;
    void CheckRange(std::uint8_t count, std::uint32_t offset, std::uint32_t length) const;
    void EnsureAuthenticated(std::uint8_t block);

    // The authentication cache: what the last successful login was.
    std::uint8_t lastKeyType_ = 0xFF;
    std::uint8_t lastKeyIndex_ = 0xFF;
    std::uint16_t authenticatedSector_ = kNoSector;
    bool storedKeyLogin_ = false;
};
