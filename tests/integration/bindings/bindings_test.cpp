#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "control/virtual_field.h"
#include "discovery/reader_discovery.h"
#include "platform/last_error.h"
#include "platform/library.h"
#include "reader/acr120_dll.h"
#include "reader/acr120u_dll.h"

namespace {

using Serial = CACR120Dll::Entries;
using Usb = CACR120UDll::Entries;

// A module whose folder is bin/bindtest/<folder>: the bindings look for their
// file beside it, exactly as they look beside the program.
platform::ModuleRef ModuleIn(const std::string& folder) {
    return platform::ModuleRef{platform::ProgramModule().file.parent_path() / "bindtest" / folder /
                               "tagquill"};
}

const std::string kSerialFile = platform::SharedLibraryFileName("acr120");

std::filesystem::path FileIn(const std::string& folder, const std::string& fileName) {
    return ModuleIn(folder).file.parent_path() / fileName;
}

TEST(SerialBinding, CompleteLibraryBindsAllSixteenFunctions) {
    CACR120Dll dll;
    ASSERT_TRUE(dll.Load(ModuleIn("serial_complete")));
    EXPECT_TRUE(dll.IsLoaded());
    EXPECT_EQ(dll.Call(&Serial::open, 2, 0), 102);
    std::uint8_t count = 0;
    std::uint8_t stations[256] = {};
    EXPECT_EQ(dll.Call(&Serial::getId, 102, &count, stations), 0);
    EXPECT_EQ(stations[0], 9);
    std::uint8_t value = 0;
    EXPECT_EQ(dll.Call(&Serial::readEeprom, 1, 1, 5, &value), 0);
    EXPECT_EQ(value, 0x42);
    EXPECT_TRUE(dll.IsBound(&Serial::writeEeprom));
    EXPECT_TRUE(dll.IsBound(&Serial::dec));
    EXPECT_TRUE(dll.traceFileName.empty());
}

TEST(SerialBinding, MissingFunctionFailsWith127AndStaysLoaded) {
    for (const char* folder : {"serial_without_getid", "serial_without_writeeeprom"}) {
        CACR120Dll dll;
        platform::SetLastErrorValue(0);
        EXPECT_FALSE(dll.Load(ModuleIn(folder))) << folder;
        EXPECT_EQ(platform::GetLastErrorValue(), platform::kErrorProcNotFound) << folder;
        // Incomplete but loaded, with the functions that were found, until Unload.
        EXPECT_TRUE(dll.IsLoaded()) << folder;
        EXPECT_TRUE(dll.IsBound(&Serial::open)) << folder;
        EXPECT_TRUE(platform::IsLibraryFileLoaded(FileIn(folder, CACR120Dll::FileName())));
        dll.Unload();
        EXPECT_FALSE(dll.IsLoaded());
        EXPECT_FALSE(dll.IsBound(&Serial::open));
        EXPECT_FALSE(platform::IsLibraryFileLoaded(FileIn(folder, CACR120Dll::FileName())));
    }
    CACR120Dll withoutGetId;
    withoutGetId.Load(ModuleIn("serial_without_getid"));
    EXPECT_FALSE(withoutGetId.IsBound(&Serial::getId));
    // The diagnostic names the file and exactly what it lacks.
    EXPECT_THAT(
        withoutGetId.LoadDiagnostic(),
        testing::AllOf(testing::HasSubstr(FileIn("serial_without_getid", kSerialFile).string()),
                       testing::EndsWith(": missing ACR120_GetID")));
    EXPECT_EQ(reader_binding::LastLoadFailure(), withoutGetId.LoadDiagnostic());
}

TEST(SerialBinding, MissingFileFailsAndLoadsNothing) {
    CACR120Dll dll;
    EXPECT_FALSE(dll.Load(ModuleIn("no_such_folder")));
    EXPECT_FALSE(dll.IsLoaded());
    EXPECT_FALSE(dll.IsBound(&Serial::open));
    EXPECT_NE(platform::GetLastErrorValue(), 0u);
    // The file it tried, and the system loader's own reason.
    EXPECT_THAT(dll.LoadDiagnostic(),
                testing::StartsWith(FileIn("no_such_folder", kSerialFile).string() + ": "));
#ifdef _WIN32
    EXPECT_THAT(dll.LoadDiagnostic(), testing::HasSubstr("(error 126)"));
#else
    EXPECT_THAT(dll.LoadDiagnostic(), testing::HasSubstr("No such file"));
#endif
}

TEST(SerialBinding, SecondLoadFreesTheFirstEvenWhenItFails) {
    CACR120Dll dll;
    ASSERT_TRUE(dll.Load(ModuleIn("serial_complete")));
    const auto first = FileIn("serial_complete", CACR120Dll::FileName());
    ASSERT_TRUE(platform::IsLibraryFileLoaded(first));
    EXPECT_FALSE(dll.Load(ModuleIn("no_such_folder")));
    EXPECT_FALSE(platform::IsLibraryFileLoaded(first)) << "the first library was not freed";
    EXPECT_FALSE(dll.IsLoaded());
    EXPECT_FALSE(dll.IsBound(&Serial::close));
}

TEST(SerialBinding, DestructionFreesTheLibrary) {
    const auto file = FileIn("serial_complete", CACR120Dll::FileName());
    {
        CACR120Dll dll;
        ASSERT_TRUE(dll.Load(ModuleIn("serial_complete")));
        ASSERT_TRUE(platform::IsLibraryFileLoaded(file));
    }
    EXPECT_FALSE(platform::IsLibraryFileLoaded(file));
}

#ifdef _WIN32
// Unload gives back the one reference the binding holds. FreeLibrary refuses
// only a module the system no longer has: here the test frees the binding's
// reference behind its back. The refused Unload then changes nothing, and the
// binding can load again.
TEST(SerialBinding, UnloadFreesItsOwnReferenceOnceAndARefusedFreeChangesNothing) {
    const auto file = FileIn("serial_complete", CACR120Dll::FileName());
    CACR120Dll dll;
    ASSERT_TRUE(dll.Load(ModuleIn("serial_complete")));
    const platform::LibraryHandle ours = platform::LoadLibraryFile(file);
    ASSERT_NE(ours, nullptr);
    dll.Unload();
    dll.Unload();  // nothing loaded: nothing to free
    EXPECT_FALSE(dll.IsLoaded());
    EXPECT_TRUE(platform::IsLibraryFileLoaded(file)) << "Unload freed the test's reference";

    ASSERT_TRUE(dll.Load(ModuleIn("serial_complete")));
    EXPECT_TRUE(platform::FreeLibraryFile(ours));
    EXPECT_TRUE(platform::FreeLibraryFile(ours));  // the binding's
    ASSERT_FALSE(platform::IsLibraryFileLoaded(file));
    platform::SetLastErrorValue(0);
    dll.Unload();
    EXPECT_EQ(platform::GetLastErrorValue(), platform::kErrorModNotFound);
    EXPECT_TRUE(dll.IsLoaded());
    EXPECT_TRUE(dll.IsBound(&Serial::open));
    ASSERT_TRUE(dll.Load(ModuleIn("serial_complete")));
    EXPECT_EQ(dll.Call(&Serial::open, 2, 0), 102);
}
#endif

TEST(UsbBinding, LoadsWithoutGetIdAndCallsReachTheFile) {
    CACR120UDll dll;
    ASSERT_TRUE(dll.Load(ModuleIn("usb_complete")));
    EXPECT_EQ(dll.Call(&Usb::open, 1), 201);
    EXPECT_TRUE(dll.IsBound(&Usb::select));
    EXPECT_TRUE(dll.IsBound(&Usb::listTags));
}

TEST(UsbBinding, MissingSelectFailsWith127) {
    CACR120UDll dll;
    EXPECT_FALSE(dll.Load(ModuleIn("usb_without_select")));
    EXPECT_EQ(platform::GetLastErrorValue(), platform::kErrorProcNotFound);
    EXPECT_TRUE(dll.IsLoaded());
    EXPECT_FALSE(dll.IsBound(&Usb::select));
    EXPECT_TRUE(dll.IsBound(&Usb::multiTagSelect));
}

TEST(UsbBinding, SerialLibraryIsNotAUsbLibrary) {
    // The serial file exports ListTag, not ListTags.
    CACR120UDll dll;
    const auto serialFolder = ModuleIn("serial_complete");
    // Same folder, but the USB binding looks for its own file name, which is absent.
    EXPECT_FALSE(dll.Load(serialFolder));
    EXPECT_FALSE(dll.IsLoaded());
}

TEST(LibraryPath, BareFileNameWhenTheModuleFolderIsUnknown) {
    EXPECT_EQ(platform::LibraryPathBeside(platform::ModuleRef{}, "libacr120.so"),
              std::filesystem::path("libacr120.so"));
    EXPECT_EQ(platform::LibraryPathBeside(platform::ModuleRef{"/opt/tq/tagquill"}, "libacr120.so"),
              std::filesystem::path("/opt/tq/libacr120.so"));
#ifndef _WIN32
    // Not on the loader's search path here, so the bare-name search fails cleanly.
    // (Windows searches the program's own folder first, where the library lies.)
    CACR120Dll dll;
    EXPECT_FALSE(dll.Load(platform::ModuleRef{}));
    EXPECT_FALSE(dll.IsLoaded());
#endif
}

// Discovery asks the libraries beside the program which ports they serve; the
// maker's libraries (the stand-ins) have no such export and add nothing.
TEST(ServedReaders, OurLibrariesAddTheirReadersTheMakersAddNone) {
    using Names = std::vector<std::u16string>;
    struct SystemSource final : IReaderDeviceSource {
        Names ports;
        Names SerialPortNames() override { return ports; }
        Names UsbInstanceIds() override { return {}; }
    } system;
    vreader::ScopedVirtualField field;  // COM1 and USB1
    field.AddReader("COM3");
    Names readers;
    EnumReaders(readers, system, platform::ProgramModule());
    EXPECT_EQ(readers, (Names{u"COM1", u"COM3", u"USB1"}));
    // A port the system lists already is not listed twice, whatever its letter case.
    system.ports = {u"com3", u"COM2"};
    EnumReaders(readers, system, platform::ProgramModule());
    EXPECT_EQ(readers, (Names{u"com3", u"COM2", u"COM1", u"USB1"}));
    for (const char* folder : {"serial_complete", "usb_complete"}) {
        EnumReaders(readers, system, ModuleIn(folder));
        EXPECT_EQ(readers, (Names{u"com3", u"COM2"})) << folder;
    }
}

#ifdef _WIN32
// Our reader libraries' static C++ runtime took a thread-local slot at every load and
// call and never gave it back: a program that connected again and again aborted after
// about a thousand rounds.
TEST(VirtualReaderLibrary, OutlastsThousandsOfLoadOpenCloseUnloadRounds) {
    vreader::ScopedVirtualField field;
    for (int round = 0; round < 1200; ++round) {
        CACR120Dll dll;
        ASSERT_TRUE(dll.Load(platform::ProgramModule())) << round;
        const std::int16_t handle = dll.Call(&Serial::open, 0, 0);
        ASSERT_GE(handle, 0) << round;
        ASSERT_EQ(dll.Call(&Serial::close, handle), 0) << round;
    }
}
#endif

}  // namespace
