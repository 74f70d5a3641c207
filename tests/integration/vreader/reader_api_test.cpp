// Opening readers, listing and selecting cards, logging in, and reading and writing
// inside and outside the authenticated sector, through both loaded libraries.

#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <atomic>
#include <chrono>
#include <thread>

#include "fixture.h"

namespace vreader_test {
namespace {

using vreader::CardKind;

TEST_P(VReader, OpensEachReaderOnceAndRefusesBadPortsAndHandles) {
    const std::int16_t first = lib.Open(0);
    ASSERT_GE(first, 0);
    EXPECT_EQ(lib.Open(0), rc::kPortOccupied);
#ifndef _WIN32
    const pid_t child = fork();  // the lock holds across processes too
    ASSERT_GE(child, 0);
    if (child == 0) {
        _exit(lib.Open(0) == rc::kPortOccupied ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
#endif
    for (int port : {1, 8, -1}) {
        EXPECT_EQ(lib.Open(port), rc::kInvalidPort) << "port " << port << " has no folder";
    }
    field.AddReader(GetParam() ? "USB2" : "COM2");
    const std::int16_t second = lib.Open(1);
    ASSERT_GE(second, 0);
    EXPECT_NE(second, first);

    EXPECT_EQ(lib.Close(first), rc::kOk);
    EXPECT_EQ(lib.Close(first), rc::kInvalidHandle);
    Bytes data(16);
    EXPECT_EQ(lib.Read(first, 4, data.data()), rc::kInvalidHandle);
    EXPECT_EQ(lib.Read(12345, 4, data.data()), rc::kInvalidHandle);
    h = lib.Open(0);  // free again after the close
    EXPECT_GE(h, 0);
    EXPECT_EQ(lib.Close(second), rc::kOk);
}

TEST_P(VReader, SerialVariantHasStationAndUsbVariantHasNone) {
    EXPECT_EQ(lib.Has("ACR120_GetID"), !GetParam());
    EXPECT_EQ(lib.Has("ACR120_ListTag"), !GetParam());
    EXPECT_EQ(lib.Has("ACR120_ListTags"), GetParam());
    if (GetParam()) {
        return;
    }
    field.SetStation("COM1", 7);
    field.NewCard(reader, CardKind::kClassic1K, kUid1);
    OpenReader();
    const auto getId = lib.Fn<S::GetID>("ACR120_GetID");
    std::uint8_t count = 0;
    std::array<std::uint8_t, 256> stations{};
    ASSERT_EQ(getId(h, &count, stations.data()), rc::kOk);
    EXPECT_EQ(count, 1);
    EXPECT_EQ(stations[0], 7);
    Listing listing;
    EXPECT_EQ(lib.List(h, listing), rc::kInvalidParameter) << "station 1 is not there";
    auto& mutableLib = const_cast<ReaderLib&>(lib);
    mutableLib.station = 7;
    EXPECT_EQ(lib.List(h, listing), rc::kOk);
    EXPECT_NE(listing.flag, 0u);
    mutableLib.station = 1;

    // Faults for callers that must cope with odd readers: type flag 0, no stations.
    field.SetStation("COM1", 1);
    field.SetTypeFlagZero(reader);
    field.SetStationCountZero(reader);
    ASSERT_EQ(lib.List(h, listing), rc::kOk);
    EXPECT_EQ(listing.flag, 0u);
    EXPECT_EQ(listing.count, 1);
    ASSERT_EQ(getId(h, &count, stations.data()), rc::kOk);
    EXPECT_EQ(count, 0);
}

TEST_P(VReader, ListsAndSelectsNoneOneAndTwoCardsInFileNameOrder) {
    OpenReader();
    Listing listing;
    ASSERT_EQ(lib.List(h, listing), rc::kOk);
    EXPECT_EQ(listing.count, 0);
    std::uint8_t type = 0, length = 0;
    std::array<std::uint8_t, 10> serial{};
    EXPECT_EQ(lib.Select(h, &type, &length, serial.data()), rc::kNoCard);
    EXPECT_EQ(lib.SelectUid(h, kUid1), rc::kNoCard);

    // Placed while the reader is open: every listing looks at the field afresh.
    field.NewCard(reader, CardKind::kClassic4K, kUid2, "b.mfd");
    ASSERT_EQ(lib.List(h, listing), rc::kOk);
    ASSERT_EQ(listing.count, 1);
    EXPECT_EQ(listing.types[0], acr120::kTagMifare4K);
    EXPECT_EQ(listing.serials[0], (Bytes{0x55, 0x66, 0x77, 0x88, 0, 0, 0, 0, 0, 0}));
    EXPECT_TRUE(GetParam() ? listing.lengths[0] == 4 : listing.flag != 0);

    field.NewCard(reader, CardKind::kClassic1K, kUid1, "a.mfd");
    ASSERT_EQ(lib.List(h, listing), rc::kOk);
    ASSERT_EQ(listing.count, 2);
    EXPECT_EQ(listing.types[0], acr120::kTagMifare1K) << "a.mfd lists first";
    EXPECT_EQ(Part(listing.serials[1], 0, 4), kUid2);

    ASSERT_EQ(lib.Select(h, &type, &length, serial.data()), rc::kOk);
    EXPECT_EQ(type, acr120::kTagMifare1K);
    EXPECT_EQ(length, 4);
    EXPECT_EQ(Bytes(serial.begin(), serial.begin() + 4), kUid1);

    // Selecting by serial picks the second card; it is the one that logs in and reads.
    ASSERT_EQ(lib.SelectUid(h, kUid2, &type), rc::kOk);
    EXPECT_EQ(type, acr120::kTagMifare4K);
    ASSERT_EQ(lib.Login(h, 60, false, kFF), rc::kOk) << "sector 39 exists on the 4K card only";
    EXPECT_EQ(lib.SelectUid(h, Bytes{1, 2, 3, 4}), rc::kNoCard);
}

TEST_P(VReader, ListsASevenByteTagWithItsLength) {
    const Bytes uid{0x04, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66};
    field.NewCard(reader, CardKind::kSevenByteUid, uid, "tag.bin");
    OpenReader();
    Listing listing;
    ASSERT_EQ(lib.List(h, listing), rc::kOk);
    ASSERT_EQ(listing.count, 1);
    EXPECT_EQ(listing.types[0], acr120::kTagSevenByteUid);
    EXPECT_EQ(Part(listing.serials[0], 0, 7), uid);
    EXPECT_EQ(listing.lengths[0], GetParam() ? 7 : 0);
    std::uint8_t type = 0;
    ASSERT_EQ(lib.SelectUid(h, uid, &type), rc::kOk);
    EXPECT_EQ(type, acr120::kTagSevenByteUid);
    EXPECT_EQ(lib.Login(h, 0, false, kFF), rc::kLoginFailed) << "no MIFARE Classic sectors";
}

TEST_P(VReader, LoginChecksBothKeysAndAFailureNeedsANewSelect) {
    CardWith({0, 0, 0, 3});  // 011: key B not readable, so usable
    EXPECT_EQ(lib.Login(h, 1, false, kKeyA), rc::kOk);
    EXPECT_EQ(lib.Login(h, 1, true, kKeyB), rc::kOk);
    Bytes data;
    ASSERT_EQ(ReadBlock(4, data), rc::kOk);
    EXPECT_EQ(lib.Login(h, 1, false, kKeyB), rc::kLoginFailed);
    EXPECT_EQ(ReadBlock(4, data), rc::kNoCard) << "the earlier login no longer counts";
    EXPECT_EQ(lib.Login(h, 1, false, kKeyA), rc::kNoCard) << "the right key needs a select first";
    EXPECT_EQ(lib.Write(h, 4, Block(1)), rc::kNoCard);
    ASSERT_EQ(Reselect(), rc::kOk);
    EXPECT_EQ(ReadBlock(4, data), rc::kNotAuthorized) << "a new select starts unauthenticated";
    EXPECT_EQ(lib.Login(h, 1, true, kKeyA), rc::kLoginFailed);
    ASSERT_EQ(Reselect(), rc::kOk);
    EXPECT_EQ(lib.Login(h, 0, false, kFF), rc::kOk) << "other sectors keep their own keys";
    // Listing the field halts the card, as anticollision does on a real reader.
    Listing listing;
    ASSERT_EQ(lib.List(h, listing), rc::kOk);
    EXPECT_EQ(ReadBlock(1, data), rc::kNoCard) << "a listing must end the selection";
}

TEST_P(VReader, ReaderMemoryHoldsStoredKeysAndEeprom) {
    CardWith({0, 0, 0, 3});
    ASSERT_EQ(lib.WriteMasterKey(h, 2, kKeyA), rc::kOk);
    ASSERT_EQ(lib.WriteMasterKey(h, 3, kKeyB), rc::kOk);
    EXPECT_EQ(lib.LoginStored(h, 1, false, 2), rc::kOk);
    EXPECT_EQ(lib.LoginStored(h, 1, true, 3), rc::kOk);
    EXPECT_EQ(lib.LoginStored(h, 0, false, 4), rc::kOk) << "untouched slots hold FF x 6";
    EXPECT_EQ(lib.LoginStored(h, 1, false, 3), rc::kLoginFailed);
    EXPECT_EQ(field.StoredKey(reader, 3)[5], 0xB5);

    std::uint8_t value = 0;
    ASSERT_EQ(lib.ReadEeprom(h, 5, &value), rc::kOk);
    EXPECT_EQ(value, 0x42);
    ASSERT_EQ(lib.WriteEeprom(h, 5, 0x46), rc::kOk);
    ASSERT_EQ(lib.ReadEeprom(h, 5, &value), rc::kOk);
    EXPECT_EQ(value, 0x46);
    EXPECT_EQ(field.Eeprom(reader, 5), 0x46);
}

TEST_P(VReader, BadArgumentsAreRefusedAndLeaveTheCardSelected) {
    CardWith({0, 0, 0, 3});
    EXPECT_EQ(lib.LoginStored(h, 1, false, 32), rc::kInvalidParameter);
    EXPECT_EQ(lib.WriteMasterKey(h, 32, kKeyA), rc::kInvalidParameter);
    EXPECT_EQ(lib.LoginMode(h, 1, 0x77, 0, kKeyA.data()), rc::kInvalidParameter);
    EXPECT_EQ(lib.LoginMode(h, 1, lib.Mode(false, false), 0, nullptr), rc::kInvalidParameter);
    EXPECT_EQ(lib.Login(h, 33, false, kFF), rc::kInvalidParameter) << "33 names no sector";
    EXPECT_EQ(lib.Login(h, 64, false, kFF), rc::kInvalidParameter);
    EXPECT_EQ(lib.Read(h, 4, nullptr), rc::kInvalidParameter);
    EXPECT_EQ(lib.ReadEeprom(h, 5, nullptr), rc::kInvalidParameter);
    EXPECT_EQ(lib.Login(h, 1, false, kKeyA), rc::kOk);
    EXPECT_EQ(lib.Login(h, 16, false, kFF), rc::kLoginFailed) << "a 1K card has 16 sectors";
}

TEST_P(VReader, OnlyTheLastAuthenticatedSectorIsReachable) {
    CardWith({0, 0, 0, 1});
    Bytes data;
    ASSERT_EQ(lib.Login(h, 1, false, kKeyA), rc::kOk);
    ASSERT_EQ(lib.Write(h, 5, Block(0x5A)), rc::kOk);
    ASSERT_EQ(ReadBlock(5, data), rc::kOk);
    EXPECT_EQ(data, Block(0x5A));
    EXPECT_EQ(ReadBlock(3, data), rc::kNotAuthorized);
    EXPECT_EQ(lib.Write(h, 8, Block(1)), rc::kNotAuthorized);
    ASSERT_EQ(lib.Login(h, 2, false, kFF), rc::kOk);
    EXPECT_EQ(ReadBlock(5, data), rc::kNotAuthorized) << "sector 1 was left by the new login";
    ASSERT_EQ(lib.Write(h, 9, Block(0x99)), rc::kOk);
    EXPECT_EQ(Image()[8 * 16], 0);
}

TEST_P(VReader, BlockZeroIsReadOnly) {
    CardWith({0, 0, 0, 1});
    ASSERT_EQ(lib.Login(h, 0, false, kFF), rc::kOk);
    const Bytes before = Image();
    EXPECT_EQ(lib.Write(h, 0, Block(0)), rc::kNotAuthorized);
    EXPECT_EQ(lib.Write(h, 1, Block(0x11)), rc::kOk);
    EXPECT_EQ(Part(Image(), 0, 16), Part(before, 0, 16));
}

TEST_P(VReader, FourKUpperSectorsHaveSixteenBlocksInGroupsOfFive) {
    CardWith({0, 2, 0, 1}, 33, CardKind::kClassic4K);  // blocks 149..153 read-only
    ASSERT_EQ(lib.Login(h, 36, false, kKeyA), rc::kOk) << "sector 33 logs in as 36";
    Bytes data;
    EXPECT_EQ(ReadBlock(143, data), rc::kNotAuthorized) << "sector 32's trailer";
    EXPECT_EQ(ReadBlock(160, data), rc::kNotAuthorized) << "sector 34's first block";
    for (auto [block, code] : {std::pair{144, rc::kOk},
                               {148, rc::kOk},
                               {149, rc::kNotAuthorized},
                               {153, rc::kNotAuthorized},
                               {154, rc::kOk},
                               {158, rc::kOk}}) {
        EXPECT_EQ(lib.Write(h, block, Block(1)), code) << "block " << block;
    }
    ASSERT_EQ(ReadBlock(159, data), rc::kOk);
    EXPECT_EQ(Part(data, 10, 16), kKeyB) << "trailer of sector 33";

    ASSERT_EQ(lib.Login(h, 32, false, kFF), rc::kOk);
    EXPECT_EQ(lib.Write(h, 142, Block(2)), rc::kOk);
    ASSERT_EQ(lib.Login(h, 60, false, kFF), rc::kOk) << "sector 39";
    EXPECT_EQ(lib.Write(h, 254, Block(3)), rc::kOk);
    EXPECT_EQ(ReadBlock(239, data), rc::kNotAuthorized);
    EXPECT_EQ(lib.Login(h, 40, false, kFF), rc::kOk) << "sector 34";
    EXPECT_EQ(Image()[254 * 16], 3);
}

TEST_P(VReader, ACardTakenAwayFailsEveryLaterCall) {
    CardWith({0, 0, 0, 1});
    ASSERT_EQ(lib.Login(h, 1, false, kKeyA), rc::kOk);
    ASSERT_EQ(lib.Write(h, 4, Block(0x44)), rc::kOk);
    const auto moved = field.RemoveCard(reader, "card.mfd");
    Bytes data;
    EXPECT_EQ(ReadBlock(4, data), rc::kNoCard);
    EXPECT_EQ(lib.Write(h, 5, Block(1)), rc::kNoCard);
    EXPECT_EQ(lib.Login(h, 1, false, kKeyA), rc::kNoCard);
    EXPECT_EQ(Reselect(), rc::kNoCard);
    // The card kept what was written to it, and works again once back and selected.
    field.PlaceCard(moved.filename().string(), reader);
    EXPECT_EQ(ReadBlock(4, data), rc::kNoCard) << "back in the field, but not selected";
    ASSERT_EQ(Reselect(), rc::kOk);
    ASSERT_EQ(lib.Login(h, 1, false, kKeyA), rc::kOk);
    ASSERT_EQ(ReadBlock(4, data), rc::kOk);
    EXPECT_EQ(data, Block(0x44));

    // Another card under the same file name is not the selected card.
    field.RemoveCard(reader, "card.mfd");
    field.NewCard(reader, CardKind::kClassic1K, kUid2, "card.mfd");
    EXPECT_EQ(ReadBlock(4, data), rc::kNoCard);
}

TEST_P(VReader, ValueBlocksKeepTheirFormat) {
    CardWith({0, 6, 1, 3});  // block 4: 000, block 5: 110, block 6: 001
    ASSERT_EQ(lib.Login(h, 1, false, kKeyA), rc::kOk);
    std::int32_t value = 0;
    EXPECT_EQ(lib.ReadValue(h, 4, &value), rc::kInvalidValueBlock) << "zeros are no value block";
    ASSERT_EQ(lib.WriteValue(h, 4, 100), rc::kOk);
    ASSERT_EQ(lib.ReadValue(h, 4, &value), rc::kOk);
    EXPECT_EQ(value, 100);
    EXPECT_EQ(Part(Image(), 64, 80),
              (Bytes{100, 0, 0, 0, 0x9B, 0xFF, 0xFF, 0xFF, 100, 0, 0, 0, 4, 0xFB, 4, 0xFB}));
    ASSERT_EQ(lib.Inc(h, 4, 5, &value), rc::kOk);
    EXPECT_EQ(value, 105);
    ASSERT_EQ(lib.Dec(h, 4, 105, &value), rc::kOk);
    EXPECT_EQ(value, 0);
    EXPECT_EQ(lib.Dec(h, 4, 1, &value), rc::kDecrementFailure);
    ASSERT_EQ(lib.WriteValue(h, 4, 0x7FFFFFFF), rc::kOk);
    EXPECT_EQ(lib.Inc(h, 4, 1, &value), rc::kIncrementOverflow);
    EXPECT_EQ(lib.Inc(h, 4, -1, &value), rc::kInvalidParameter);

    // 110: key A may only decrement, key B also write and increment; 001 is no value yet.
    EXPECT_EQ(lib.WriteValue(h, 5, 10), rc::kNotAuthorized);
    EXPECT_EQ(lib.Dec(h, 6, 1, &value), rc::kValueBlockFormat);
    ASSERT_EQ(Reselect(), rc::kOk);
    ASSERT_EQ(lib.Login(h, 1, true, kKeyB), rc::kOk);
    ASSERT_EQ(lib.WriteValue(h, 5, 10), rc::kOk);
    ASSERT_EQ(lib.Inc(h, 5, 1, &value), rc::kOk);
    ASSERT_EQ(Reselect(), rc::kOk);
    ASSERT_EQ(lib.Login(h, 1, false, kKeyA), rc::kOk);
    EXPECT_EQ(lib.Inc(h, 5, 1, &value), rc::kNotAuthorized) << "increment needs key B";
    ASSERT_EQ(lib.Dec(h, 5, 1, &value), rc::kOk);
    EXPECT_EQ(value, 10);
}

// POSIX only: Windows cannot replace a file that another program holds open, so
// there a write retries briefly and then fails rather than waiting on the reader.
#ifndef _WIN32
TEST_P(VReader, ImagesAreReplacedWholeWhileAnotherProcessReadsThem) {
    CardWith({0, 0, 0, 1});
    ASSERT_EQ(lib.Login(h, 1, false, kKeyA), rc::kOk);
    const auto path = field.ReaderDir(reader) / "card.mfd";
    std::atomic<bool> done{false};
    std::atomic<int> torn{0};
    std::thread watcher([&] {
        while (!done) {
            const Bytes image = field.ReadCard(path.string());
            torn += image.size() != 1024 || image[4 * 16] != image[4 * 16 + 15];
        }
    });
    for (int i = 0; i < 200; ++i) {
        ASSERT_EQ(lib.Write(h, 4, Block(static_cast<std::uint8_t>(i))), rc::kOk);
    }
    done = true;
    watcher.join();
    EXPECT_EQ(torn, 0);
    for (const auto& entry : std::filesystem::directory_iterator(path.parent_path())) {
        EXPECT_EQ(entry.path().filename().string().find("tmp"), std::string::npos) << "left behind";
    }
    EXPECT_EQ(lib.Close(h), rc::kOk);
    h = -1;
    EXPECT_EQ(Image()[4 * 16], 199) << "the image is the card: it outlives the reader";
}
#endif

TEST_P(VReader, ConcurrentListingAndCardWorkStayConsistent) {
    CardWith({0, 0, 0, 1});
    std::atomic<bool> done{false};
    std::atomic<bool> letWorkThrough{false};
    std::atomic<int> badLists{0};
    std::thread monitor([&] {
        while (!done) {
            // Where calls are slow (Wine, a loaded machine) a listing falls between
            // every two steps; a pause now and then lets one piece of work through.
            if (letWorkThrough.exchange(false)) {
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
            }
            Listing listing;
            badLists += lib.List(h, listing) != rc::kOk || listing.count != 1;
        }
    });
    int worked = 0;
    for (int i = 0; i < 100 || (worked == 0 && i < 5000); ++i) {
        // A listing in between halts the card, so a step may find it unselected.
        worked += Reselect() == rc::kOk && lib.Login(h, 1, false, kKeyA) == rc::kOk &&
                  lib.Write(h, 4, Block(7)) == rc::kOk;
        if (worked == 0 && i % 50 == 49) {
            letWorkThrough = true;
        }
    }
    done = true;
    monitor.join();
    EXPECT_EQ(badLists, 0);
    EXPECT_GT(worked, 0);
}

INSTANTIATE_TEST_SUITE_P(BothVariants, VReader, ::testing::Bool(), VariantName);

}  // namespace
}  // namespace vreader_test
