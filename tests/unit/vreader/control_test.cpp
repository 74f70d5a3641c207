// The control library's promises to tests: a scoped state folder, readers and cards as
// files, and errors that change nothing.

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <functional>

#include "control/virtual_field.h"
#include "core/files.h"

namespace {

namespace fs = std::filesystem;
using vreader::Bytes;
using vreader::CardKind;
using vreader::ControlError;
using vreader::ErrorKind;

ErrorKind KindOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const ControlError& error) {
        return error.Kind();
    }
    ADD_FAILURE() << "no error";
    return ErrorKind::kIo;
}

TEST(ScopedVirtualField, OwnsAFreshFolderNamedInTheEnvironment) {
    vreader::files::SetEnvironment("TAGQUILL_VREADER_DIR", "/previous");
    fs::path dir;
    {
        vreader::ScopedVirtualField field;
        dir = field.Dir();
        EXPECT_EQ(std::getenv("TAGQUILL_VREADER_DIR"), dir.string());
        EXPECT_STREQ(std::getenv("TAGQUILL_PCSC"), "off");  // its own readers only
        EXPECT_EQ(field.Readers(), (std::vector<std::string>{"COM1", "USB1"}));
        field.NewCard("COM1", CardKind::kClassic1K);
        vreader::ScopedVirtualField other;
        EXPECT_NE(other.Dir(), dir);
        EXPECT_TRUE(other.Field("COM1").empty());
    }
    EXPECT_FALSE(fs::exists(dir));
    EXPECT_STREQ(std::getenv("TAGQUILL_VREADER_DIR"), "/previous");
    EXPECT_EQ(std::getenv("TAGQUILL_PCSC"), nullptr);
    vreader::files::SetEnvironment("TAGQUILL_VREADER_DIR", std::nullopt);
}

TEST(VirtualField, ListsOnlyCardImagesInNameOrder) {
    vreader::ScopedVirtualField field;
    field.NewCard("COM1", CardKind::kClassic1K, Bytes{1, 1, 1, 1}, "b.mfd");
    field.NewCard("COM1", CardKind::kClassic4K, Bytes{2, 2, 2, 2}, "a.dump");
    field.NewCard("COM1", CardKind::kSevenByteUid, Bytes{4, 3, 3, 3, 3, 3, 3}, "c.BIN");
    std::ofstream(field.ReaderDir("COM1") / "notes.txt") << std::string(1024, 'x');
    std::ofstream(field.ReaderDir("COM1") / "half.mfd") << std::string(512, 'x');
    const auto cards = field.Field("com1");
    ASSERT_EQ(cards.size(), 3u);
    EXPECT_EQ(cards[0].name, "a.dump");
    EXPECT_EQ(cards[1].name, "b.mfd");
    EXPECT_EQ(cards[2].uid, (Bytes{4, 3, 3, 3, 3, 3, 3}));
}

TEST(VirtualField, TakenCardsKeepTheirImageAndNeverOverwriteAnother) {
    vreader::ScopedVirtualField field;
    field.AddReader("USB2");
    field.NewCard("COM1", CardKind::kClassic1K, Bytes{1, 2, 3, 4}, "same.mfd");
    field.NewCard("USB2", CardKind::kClassic1K, Bytes{5, 6, 7, 8}, "same.mfd");
    const auto first = field.RemoveCard("COM1");
    const auto second = field.RemoveCard("USB2", "same.mfd");
    EXPECT_NE(first, second);
    EXPECT_EQ(field.ReadCard("same.mfd")[0], 1);
    EXPECT_EQ(field.ReadCard(second.filename().string())[0], 5);
    field.PlaceCard(second.filename().string(), "COM1");
    EXPECT_EQ(field.Field("COM1").at(0).uid, (Bytes{5, 6, 7, 8}));
}

TEST(VirtualField, BadRequestsFailWithTheirKindAndChangeNothing) {
    vreader::ScopedVirtualField field;
    // (Unknown and existing readers, bad fault requests: through the CLI's exit codes.)
    EXPECT_EQ(KindOf([&] { field.AddReader("LPT1"); }), ErrorKind::kBadArgument);
    EXPECT_EQ(KindOf([&] { field.NewCard("COM2", CardKind::kClassic1K); }), ErrorKind::kNotFound);
    EXPECT_EQ(KindOf([&] { field.PlaceImage("COM1", Bytes(1000), "x.mfd"); }),
              ErrorKind::kBadImage);
    EXPECT_EQ(KindOf([&] { field.PlaceImage("COM1", Bytes(1024), "x.txt"); }),
              ErrorKind::kBadArgument);
    EXPECT_EQ(KindOf([&] { field.PlaceImage("COM1", Bytes(1024), "../x.mfd"); }),
              ErrorKind::kBadArgument);
    field.NewCard("COM1", CardKind::kClassic1K, Bytes{1, 2, 3, 4}, "x.mfd");
    EXPECT_EQ(KindOf([&] {
                  field.NewCard("COM1", CardKind::kClassic1K, Bytes{9, 9, 9, 9}, "x.mfd");
              }),
              ErrorKind::kExists);
    EXPECT_EQ(field.Field("COM1").at(0).uid, (Bytes{1, 2, 3, 4})) << "the first card stays";
    EXPECT_EQ(KindOf([&] { field.FailCall("COM1", "Reed", 1, -1); }), ErrorKind::kBadArgument);
    EXPECT_EQ(KindOf([&] { field.StoredKey("COM1", 32); }), ErrorKind::kBadArgument);
    EXPECT_TRUE(field.FaultLines("COM1").empty());
}

}  // namespace
