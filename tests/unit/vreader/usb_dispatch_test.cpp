// The USB library's one numbering over its engines, with two recording engines in
// place of the virtual and PC/SC ones.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "usb/port_dispatch.h"

namespace {

using vreader::usb::Engines;
using vreader::usb::PortDispatch;
using vreader::usb::UsbEngine;
namespace rc = acr120::rc;

struct FakeEngine {
    std::vector<std::uint8_t> ports;
    std::vector<std::string> calls;
    std::int16_t opened = 0;
};
FakeEngine gVirtual;
FakeEngine gPcsc;

// Each engine numbers its own handles from 0, as both real ones do.
template <FakeEngine* E>
std::int16_t ACR120_CALL ListPorts(std::uint8_t* indexes, std::uint8_t room) {
    for (std::size_t i = 0; i < E->ports.size() && i < room; ++i) {
        indexes[i] = E->ports[i];
    }
    return static_cast<std::int16_t>(E->ports.size());
}
template <FakeEngine* E>
std::int16_t ACR120_CALL Open(std::int16_t port) {
    E->calls.push_back("Open " + std::to_string(port));
    return std::find(E->ports.begin(), E->ports.end(), port) == E->ports.end() ? rc::kInvalidPort
                                                                               : E->opened++;
}
template <FakeEngine* E>
std::int16_t ACR120_CALL Close(std::int16_t handle) {
    E->calls.push_back("Close " + std::to_string(handle));
    return rc::kOk;
}
template <FakeEngine* E>
std::int16_t ACR120_CALL Read(std::int16_t handle, std::uint8_t block, std::uint8_t*) {
    E->calls.push_back("Read " + std::to_string(handle) + " " + std::to_string(block));
    return rc::kOk;
}
template <FakeEngine* E>
const UsbEngine kEngine = [] {
    UsbEngine engine{};
    engine.listPorts = ListPorts<E>;
    engine.open = Open<E>;
    engine.close = Close<E>;
    engine.read = Read<E>;
    return engine;
}();

void Reset(FakeEngine& engine, std::vector<std::uint8_t> ports) {
    engine = FakeEngine{};
    engine.ports = std::move(ports);
}

std::vector<std::uint8_t> Listed(PortDispatch& dispatch, const Engines& engines) {
    std::vector<std::uint8_t> ports(8, 0xEE);
    const auto count = dispatch.ListPorts(engines, ports.data(), 8);
    ports.resize(static_cast<std::size_t>(std::max<std::int16_t>(count, 0)));
    return ports;
}

TEST(UsbDispatch, PcscReadersTakeTheNumbersAfterTheHighestVirtualOneUpToUsb8) {
    struct Case {
        std::vector<std::uint8_t> virtualPorts;
        std::uint8_t pcscReaders;
        bool pcscServed;
        std::vector<std::uint8_t> listed;
    };
    for (const Case& c : {Case{{0, 2}, 1, true, {0, 2, 3}},  // USB1, USB3 and USB4
                          Case{{}, 2, true, {0, 1}}, Case{{0, 2}, 1, false, {0, 2}},
                          Case{{0, 1, 2, 3, 4, 5, 6}, 3, true, {0, 1, 2, 3, 4, 5, 6, 7}},
                          Case{{7}, 1, true, {7}}}) {
        Reset(gVirtual, c.virtualPorts);
        Reset(gPcsc, {});
        for (std::uint8_t i = 0; i < c.pcscReaders; ++i) {
            gPcsc.ports.push_back(i);
        }
        PortDispatch dispatch;
        const Engines engines{&kEngine<&gVirtual>, c.pcscServed ? &kEngine<&gPcsc> : nullptr};
        EXPECT_EQ(Listed(dispatch, engines), c.listed) << testing::PrintToString(c.virtualPorts);
    }
}

TEST(UsbDispatch, EachCallReachesTheEngineThatOpenedThePortWithThatEnginesHandle) {
    Reset(gVirtual, {0, 2});
    Reset(gPcsc, {0});
    PortDispatch dispatch;
    const Engines engines{&kEngine<&gVirtual>, &kEngine<&gPcsc>};

    const std::int16_t pcsc = dispatch.Open(engines, 3);
    const std::int16_t usb1 = dispatch.Open(engines, 0);
    ASSERT_GE(pcsc, 0);
    ASSERT_GE(usb1, 0);
    EXPECT_NE(pcsc, usb1);
    for (std::int16_t port : {1, 4, 8, -1}) {
        EXPECT_EQ(dispatch.Open(engines, port), rc::kInvalidPort) << port;
    }
    EXPECT_EQ(dispatch.Call(pcsc, &UsbEngine::read, std::uint8_t{5}, nullptr), rc::kOk);
    EXPECT_EQ(dispatch.Call(usb1, &UsbEngine::read, std::uint8_t{6}, nullptr), rc::kOk);
    EXPECT_EQ(dispatch.Close(pcsc), rc::kOk);
    EXPECT_EQ(dispatch.Close(pcsc), rc::kInvalidHandle);
    EXPECT_EQ(dispatch.Call(pcsc, &UsbEngine::read, std::uint8_t{5}, nullptr), rc::kInvalidHandle);

    // USB4 is the PC/SC engine's port 0; USB5 its port 1, which it does not have.
    EXPECT_EQ(gPcsc.calls, (std::vector<std::string>{"Open 0", "Open 1", "Read 0 5", "Close 0"}));
    EXPECT_EQ(gVirtual.calls, (std::vector<std::string>{"Open 0", "Read 0 6"}));
}

}  // namespace
