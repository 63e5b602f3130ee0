// The transport's bookkeeping over a scripted bus: notifications only from
// Poll(), handle lifetimes, the open retry, error mapping at the boundary, and
// boards that leave while the program is using them.
#include "usb/libusb_transport.h"

#include <gtest/gtest.h>
#include <libusb.h>

#include <algorithm>
#include <cstdio>
#include <deque>
#include <functional>
#include <vector>

#include "board/usb_ids.h"

namespace kps::usb {
namespace {

struct FakeDevice {
  DeviceIds ids;
  std::vector<InterfaceIds> interfaces;
  uint8_t bus = 3, address = 17;
  int refs = 0;  // references the transport holds
  bool connected = false;
};

struct FakeHandle {
  FakeDevice* device = nullptr;
  bool open = true;
};

libusb_device* Ptr(FakeDevice* d) {
  return reinterpret_cast<libusb_device*>(d);
}
FakeDevice* Dev(libusb_device* d) {
  return reinterpret_cast<FakeDevice*>(d);
}

std::string Hex(const char* what, uint8_t endpoint, int length = -1) {
  char text[32];
  std::snprintf(text, sizeof text, length < 0 ? "%s %02x" : "%s %02x %d", what, endpoint, length);
  return text;
}

// The bus and libusb's behaviour on it.
struct Bus {
  FakeDevice* Add(uint16_t productId = kDefaultProductId) {
    FakeDevice& d = devices.emplace_back();
    d.ids = {kDefaultVendorId, productId, 0x0102, 0, 0, 1, 2, 3};
    return &d;
  }
  // libusb makes a new device object for every connection, so a board that
  // comes back is plugged in as a new FakeDevice.
  void Plug(FakeDevice* d) {
    EXPECT_FALSE(d->connected) << "a device object is connected only once";
    d->connected = true;
    plugged.push_back(d);
    pending.push_back({d, true});
  }
  void Unplug(FakeDevice* d) {
    plugged.erase(std::find(plugged.begin(), plugged.end(), d));
    pending.push_back({d, false});
  }
  // What libusb's event handling does with the kernel's news.
  void FireHotplug() {
    while (!pending.empty()) {
      const auto [d, arrived] = pending.front();
      pending.pop_front();
      if (sink != nullptr && Watched(d)) sink->OnHotplug(Ptr(d), arrived);
    }
  }
  bool Watched(const FakeDevice* d) const {
    return d->ids.vendorId == watched.vendorId && d->ids.productId == watched.productId;
  }
  int OpenHandles() const {
    return static_cast<int>(
        std::count_if(handles.begin(), handles.end(), [](const FakeHandle& h) { return h.open; }));
  }
  int Count(const std::string& prefix) const {
    return static_cast<int>(std::count_if(log.begin(), log.end(), [&](const std::string& entry) {
      return entry.compare(0, prefix.size(), prefix) == 0;
    }));
  }

  std::deque<FakeDevice> devices;
  std::vector<FakeDevice*> plugged;
  std::deque<std::pair<FakeDevice*, bool>> pending;
  std::deque<FakeHandle> handles;
  std::vector<std::string> log;  // the calls that reach a device
  bool context = false;
  HotplugSink* sink = nullptr;
  UsbMatch watched;
  std::chrono::steady_clock::time_point now{};

  // Scripted answers.
  int initResult = 0, registerResult = 0, claimResult = 0, clearHaltResult = 0, resetResult = 0,
      stringResult = 0;
  std::deque<int> openResults;  // LIBUSB_SUCCESS once empty
  std::function<int(uint8_t endpoint, uint8_t* data, int length, int* transferred)> onTransfer;
};

// Checks the rules libusb sets: no call without a context or on a closed
// handle, no reference dropped twice, no context ended with handles open.
class FakeBackend : public UsbBackend {
 public:
  explicit FakeBackend(Bus& bus) : bus_(bus) {}

  int Init() override {
    if (bus_.initResult != 0) return bus_.initResult;
    EXPECT_FALSE(bus_.context) << "a second context for one session";
    bus_.context = true;
    return 0;
  }
  void Exit() override {
    Need();
    EXPECT_EQ(bus_.OpenHandles(), 0) << "the context ends with handles open";
    bus_.context = false;
    bus_.sink = nullptr;
  }
  bool HasHotplug() override { return true; }
  int RegisterHotplug(const UsbMatch& match, HotplugSink* sink) override {
    Need();
    if (bus_.registerResult != 0) return bus_.registerResult;
    bus_.sink = sink;
    bus_.watched = match;
    bus_.pending.clear();
    for (FakeDevice* d : bus_.plugged) {
      if (bus_.Watched(d)) sink->OnHotplug(Ptr(d), true);  // LIBUSB_HOTPLUG_ENUMERATE
    }
    return 0;
  }
  void DeregisterHotplug() override { Need(), bus_.sink = nullptr; }
  int HandleEvents() override { return Need(), bus_.FireHotplug(), 0; }
  int GetDeviceList(std::vector<libusb_device*>* list) override {
    Need();
    list->clear();
    for (FakeDevice* d : bus_.plugged) list->push_back((++d->refs, Ptr(d)));
    bus_.pending.clear();
    return static_cast<int>(list->size());
  }
  void RefDevice(libusb_device* d) override { ++Dev(d)->refs; }
  void UnrefDevice(libusb_device* d) override {
    EXPECT_GT(Dev(d)->refs, 0) << "a reference dropped twice";
    --Dev(d)->refs;
  }
  int GetDeviceIds(libusb_device* d, DeviceIds* ids) override { return *ids = Dev(d)->ids, 0; }
  int GetInterfaceIds(libusb_device* d, std::vector<InterfaceIds>* interfaces) override {
    return *interfaces = Dev(d)->interfaces, 0;
  }
  uint8_t BusNumber(libusb_device* d) override { return Dev(d)->bus; }
  uint8_t DeviceAddress(libusb_device* d) override { return Dev(d)->address; }

  int Open(libusb_device* d, libusb_device_handle** handle) override {
    Need();
    bus_.log.push_back("open");
    const int result = bus_.openResults.empty() ? 0 : bus_.openResults.front();
    if (!bus_.openResults.empty()) bus_.openResults.pop_front();
    if (result != 0) return result;
    EXPECT_GT(Dev(d)->refs, 0) << "opening a device nobody holds";
    bus_.handles.push_back({Dev(d), true});
    *handle = reinterpret_cast<libusb_device_handle*>(&bus_.handles.back());
    return 0;
  }
  void Close(libusb_device_handle* h) override {
    if (Op(h, "close", 0) == 0) reinterpret_cast<FakeHandle*>(h)->open = false;
  }
  int SetAutoDetachKernelDriver(libusb_device_handle* h, bool on) override {
    return Op(h, on ? "autodetach on" : "autodetach off", 0);
  }
  int ClaimInterface(libusb_device_handle* h, int n) override {
    return Op(h, "claim " + std::to_string(n), bus_.claimResult);
  }
  int ReleaseInterface(libusb_device_handle* h, int n) override {
    return Op(h, "release " + std::to_string(n), 0);
  }
  int SetAltSetting(libusb_device_handle* h, int n, int alt) override {
    return Op(h, "alt " + std::to_string(n) + " " + std::to_string(alt), 0);
  }
  int GetStringAscii(libusb_device_handle* h, uint8_t index, std::string* text) override {
    const int result = Op(h, "string " + std::to_string(index), bus_.stringResult);
    if (result < 0) return result;
    *text = "string " + std::to_string(index);
    return static_cast<int>(text->size());
  }
  int BulkTransfer(libusb_device_handle* h, uint8_t endpoint, uint8_t* data, int length,
                   int* transferred, unsigned int /*timeoutMs*/) override {
    *transferred = 0;
    if (const int result = Op(h, Hex("bulk", endpoint, length), 0); result < 0) return result;
    if (bus_.onTransfer) return bus_.onTransfer(endpoint, data, length, transferred);
    return *transferred = length, 0;
  }
  int ClearHalt(libusb_device_handle* h, uint8_t endpoint) override {
    return Op(h, Hex("clearhalt", endpoint), bus_.clearHaltResult);
  }
  int ResetDevice(libusb_device_handle* h) override { return Op(h, "reset", bus_.resetResult); }
  std::chrono::steady_clock::time_point Now() override { return bus_.now; }
  void Sleep(std::chrono::milliseconds duration) override { bus_.now += duration; }

 private:
  void Need() { EXPECT_TRUE(bus_.context) << "a libusb call without a context"; }
  int Op(libusb_device_handle* h, const std::string& entry, int result) {
    Need();
    if (h == nullptr)
      return ADD_FAILURE() << entry << " without a handle", LIBUSB_ERROR_INVALID_PARAM;
    EXPECT_TRUE(reinterpret_cast<FakeHandle*>(h)->open) << entry << " on a closed handle";
    bus_.log.push_back(entry);
    return result;
  }
  Bus& bus_;
};

struct Listener : TransportListener {
  bool DeviceAttach(DeviceHandle device) override {
    attached.push_back(device);
    return onAttach ? onAttach(device) : true;
  }
  void DeviceDetach(DeviceHandle device) override {
    detached.push_back(device);
    if (onDetach) onDetach(device);
  }
  std::vector<DeviceHandle> attached, detached;
  std::function<bool(DeviceHandle)> onAttach;
  std::function<void(DeviceHandle)> onDetach;
};

class TransportTest : public ::testing::Test {
 protected:
  TransportTest() {
    match.vendorId = kDefaultVendorId;
    match.productId = kDefaultProductId;
  }
  void Start() { ASSERT_EQ(transport.Init(match, &listener, &driver), kUsbOk); }
  // A board plugged in before the start, and its first notification.
  DeviceHandle StartWithBoard() {
    board = bus.Add();
    bus.Plug(board);
    Start();
    transport.Poll();
    EXPECT_EQ(listener.attached.size(), 1u);
    return listener.attached.empty() ? 0 : listener.attached.back();
  }
  // The same, with the interface selected as the program's attach does it.
  DeviceHandle Attach() {
    listener.onAttach = [this](DeviceHandle d) {
      return transport.SetInterface(d, 0, 0) == kUsbOk;
    };
    const DeviceHandle device = StartWithBoard();
    bus.log.clear();
    return device;
  }
  uint32_t Write(DeviceHandle device, uint32_t pipe = 2) {
    return transport.Transfer(device, pipe, false, buffer, 4, &transferred, 1000);
  }
  void TearDown() override {
    transport.Uninit(driver);
    EXPECT_FALSE(bus.context);
    EXPECT_EQ(bus.OpenHandles(), 0);
    for (const FakeDevice& d : bus.devices) EXPECT_EQ(d.refs, 0) << "a reference leaked";
  }

  Bus bus;
  Listener listener;
  LibusbTransport transport{std::make_unique<FakeBackend>(bus)};
  UsbMatch match;
  DriverHandle driver = 0;
  FakeDevice* board = nullptr;
  uint8_t buffer[64] = {};
  uint32_t transferred = 0;
};

using TransportSessionTest = TransportTest;
using TransportInterfaceTest = TransportTest;
using TransportTransferTest = TransportTest;
using TransportDepartureTest = TransportTest;

TEST_F(TransportSessionTest, ABoardPresentAtStartIsReportedOnceAndOnlyByPoll) {
  board = bus.Add();
  bus.Plug(board);
  Start();
  EXPECT_GE(driver, 1);
  EXPECT_TRUE(listener.attached.empty());
  // Plugged in while the callback was registered: libusb may report it both
  // in the enumeration and as an arrival.
  bus.pending.push_back({board, true});
  transport.Poll();
  transport.Poll();
  ASSERT_EQ(listener.attached.size(), 1u);
  EXPECT_NE(listener.attached[0], 0u);
  EXPECT_TRUE(listener.detached.empty());
}

TEST_F(TransportSessionTest, AFailedInitLeavesNoSessionBehind) {
  bus.Plug(bus.Add());
  bus.initResult = LIBUSB_ERROR_NO_MEM;
  driver = 5;
  EXPECT_EQ(transport.Init(match, &listener, &driver), kUsbOther);
  EXPECT_EQ(driver, 0);
  transport.Poll();  // the fake fails any call without a context
  EXPECT_TRUE(listener.attached.empty());

  bus.initResult = 0;
  Start();
  transport.Poll();
  EXPECT_EQ(listener.attached.size(), 1u);
}

TEST_F(TransportSessionTest, WithoutHotplugTheBusIsScannedAtMostEveryInterval) {
  bus.registerResult = LIBUSB_ERROR_NOT_SUPPORTED;
  board = bus.Add();
  bus.Plug(board);
  bus.Plug(bus.Add(0x1234));
  Start();
  transport.Poll();
  ASSERT_EQ(listener.attached.size(), 1u);  // the other product is not ours

  bus.Unplug(board);
  transport.Poll();
  EXPECT_TRUE(listener.detached.empty());
  bus.now += kScanInterval;
  transport.Poll();
  EXPECT_EQ(listener.detached, listener.attached);

  bus.Plug(bus.Add());
  bus.now += kScanInterval;
  transport.Poll();
  ASSERT_EQ(listener.attached.size(), 2u);
  EXPECT_NE(listener.attached[1], listener.attached[0]);
}

TEST_F(TransportSessionTest, HandleNumbersAreNeverReused) {
  StartWithBoard();
  bus.Unplug(board);
  bus.Plug(bus.Add());
  transport.Poll();
  transport.Uninit(driver);
  Start();  // the board is enumerated again, as a new device
  transport.Poll();
  ASSERT_EQ(listener.attached.size(), 3u);
  std::vector<DeviceHandle> sorted = listener.attached;
  std::sort(sorted.begin(), sorted.end());
  EXPECT_EQ(std::adjacent_find(sorted.begin(), sorted.end()), sorted.end());
  EXPECT_EQ(listener.detached, std::vector<DeviceHandle>{listener.attached[0]});
}

TEST_F(TransportSessionTest, InterfaceFieldsOfTheMatchSelectTheBoard) {
  match.interfaceClass = 0xFF;
  FakeDevice* hid = bus.Add();
  hid->interfaces = {{0x03, 0, 0}};
  board = bus.Add();
  board->interfaces = {{0x03, 0, 0}, {0xFF, 0, 0}};
  board->address = 9;
  bus.Plug(hid);
  bus.Plug(board);
  Start();
  transport.Poll();
  ASSERT_EQ(listener.attached.size(), 1u);
  DeviceInfo info;
  ASSERT_EQ(transport.GetDeviceInfo(listener.attached[0], &info), kUsbOk);
  EXPECT_EQ(info.deviceAddress, 9);
}

TEST_F(TransportSessionTest, UninitReleasesEverythingOnceAndEndsTheHandles) {
  const DeviceHandle device = Attach();
  transport.Uninit(driver + 1);  // not this session's handle
  EXPECT_TRUE(bus.context);

  transport.Uninit(driver);
  EXPECT_EQ(bus.log, (std::vector<std::string>{"release 0", "close"}));
  EXPECT_FALSE(bus.context);
  transport.Uninit(driver);
  transport.Poll();

  bus.log.clear();
  EXPECT_EQ(Write(device), kUsbNoDevice);
  EXPECT_EQ(transport.SetInterface(device, 0, 0), kUsbNoDevice);
  EXPECT_EQ(transport.ResetDevice(device), kUsbNoDevice);
  EXPECT_TRUE(bus.log.empty());
}

TEST_F(TransportSessionTest, TheDestructorEndsAnOpenSession) {
  Bus other;
  other.Plug(other.Add());
  {
    LibusbTransport owner(std::make_unique<FakeBackend>(other));
    ASSERT_EQ(owner.Init(match, &listener, &driver), kUsbOk);
    owner.Poll();
    ASSERT_EQ(owner.SetInterface(listener.attached.at(0), 0, 0), kUsbOk);
  }
  EXPECT_FALSE(other.context);
  EXPECT_EQ(other.OpenHandles(), 0);
  EXPECT_EQ(other.devices[0].refs, 0);
}

TEST_F(TransportSessionTest, ARefusedBoardIsLetGoAndGetsNoDetach) {
  bus.claimResult = LIBUSB_ERROR_BUSY;
  uint32_t status = kUsbOk;
  listener.onAttach = [&](DeviceHandle d) {
    return (status = transport.SetInterface(d, 0, 0)) == 0;
  };
  StartWithBoard();
  EXPECT_EQ(status, kUsbBusy);
  EXPECT_EQ(bus.OpenHandles(), 0);
  EXPECT_EQ(board->refs, 0);
  bus.Unplug(board);
  transport.Poll();
  EXPECT_TRUE(listener.detached.empty());
}

TEST_F(TransportInterfaceTest, OpensDetachesTheKernelDriverClaimsAndSelects) {
  const DeviceHandle device = StartWithBoard();
  EXPECT_TRUE(bus.log.empty()) << "the device is opened only when asked";
  ASSERT_EQ(transport.SetInterface(device, 0, 0), kUsbOk);
  EXPECT_EQ(bus.log, (std::vector<std::string>{"open", "autodetach on", "claim 0", "alt 0 0"}));
  bus.log.clear();
  ASSERT_EQ(transport.SetInterface(device, 0, 0), kUsbOk);
  EXPECT_EQ(bus.log, std::vector<std::string>{"alt 0 0"});
}

TEST_F(TransportInterfaceTest, AnAccessErrorRightAfterArrivalIsRetried) {
  bus.openResults = {LIBUSB_ERROR_ACCESS, LIBUSB_ERROR_ACCESS};
  EXPECT_NE(Attach(), 0u);
  EXPECT_EQ(bus.OpenHandles(), 1);
  EXPECT_EQ(bus.now - std::chrono::steady_clock::time_point{}, 2 * kOpenRetryStep);
}

TEST_F(TransportInterfaceTest, OnlyAnEarlyAccessErrorIsWaitedFor) {
  bus.openResults.assign(1000, LIBUSB_ERROR_ACCESS);
  const DeviceHandle device = StartWithBoard();
  EXPECT_EQ(transport.SetInterface(device, 0, 0), kUsbAccessDenied);
  const auto waited = bus.now - std::chrono::steady_clock::time_point{};
  EXPECT_GE(waited, kOpenRetryWindow);
  EXPECT_LT(waited, kOpenRetryWindow + 2 * kOpenRetryStep);
  EXPECT_GT(bus.Count("open"), 2);

  // Long after the arrival the permissions are what they are.
  bus.now += std::chrono::seconds(5);
  bus.log.clear();
  EXPECT_EQ(transport.SetInterface(device, 0, 0), kUsbAccessDenied);
  EXPECT_EQ(bus.Count("open"), 1);
  // Nor is any other error retried.
  bus.now -= std::chrono::seconds(5);
  bus.openResults = {LIBUSB_ERROR_NO_DEVICE};
  EXPECT_EQ(transport.SetInterface(device, 0, 0), kUsbNoDevice);
  EXPECT_EQ(bus.Count("open"), 2);
}

TEST_F(TransportInterfaceTest, DeviceInfoHasStringsOnlyOnceTheDeviceIsOpen) {
  const DeviceHandle device = StartWithBoard();
  DeviceInfo info;
  ASSERT_EQ(transport.GetDeviceInfo(device, &info), kUsbOk);
  EXPECT_EQ(info.vendorId, kDefaultVendorId);
  EXPECT_EQ(info.productId, kDefaultProductId);
  EXPECT_EQ(info.deviceVersion, 0x0102);
  EXPECT_EQ(info.busNumber, 3);
  EXPECT_EQ(info.deviceAddress, 17);
  EXPECT_TRUE(info.manufacturer.empty() && info.product.empty() && info.serial.empty());
  EXPECT_TRUE(bus.log.empty());

  ASSERT_EQ(transport.SetInterface(device, 0, 0), kUsbOk);
  board->ids.serialIndex = 0;  // no serial number string
  ASSERT_EQ(transport.GetDeviceInfo(device, &info), kUsbOk);
  EXPECT_EQ(info.manufacturer, "string 1");
  EXPECT_EQ(info.product, "string 2");
  EXPECT_EQ(info.serial, "");
  EXPECT_EQ(bus.Count("string"), 2);

  bus.stringResult = LIBUSB_ERROR_PIPE;  // firmware that stalls string requests
  ASSERT_EQ(transport.GetDeviceInfo(device, &info), kUsbOk);
  EXPECT_EQ(info.manufacturer, "");
  EXPECT_EQ(info.vendorId, kDefaultVendorId);
}

TEST_F(TransportTransferTest, MovesDataOnTheEndpointOfThePipe) {
  const DeviceHandle device = Attach();
  std::vector<uint8_t> sent;
  bus.onTransfer = [&](uint8_t endpoint, uint8_t* data, int length, int* count) {
    if ((endpoint & 0x80) == 0) return sent.assign(data, data + length), *count = length, 0;
    data[0] = 1;
    data[1] = 0x5A;
    return *count = 2, 0;
  };
  const uint8_t frame[] = {0x00, 0x88, 0x03, 0x7F};
  std::copy(std::begin(frame), std::end(frame), buffer);
  EXPECT_EQ(Write(device), kUsbOk);
  EXPECT_EQ(transferred, 4u);
  EXPECT_EQ(sent, std::vector<uint8_t>(std::begin(frame), std::end(frame)));
  EXPECT_EQ(transport.Transfer(device, 130, true, buffer, 6, &transferred, 1000), kUsbOk);
  EXPECT_EQ(transferred, 2u);
  EXPECT_EQ(buffer[1], 0x5A);
  EXPECT_EQ(Write(device, 1), kUsbOk);
  EXPECT_EQ(transport.Transfer(device, 129, true, buffer, 25, &transferred, 1000), kUsbOk);
  EXPECT_EQ(bus.log,
            (std::vector<std::string>{"bulk 02 4", "bulk 82 6", "bulk 01 4", "bulk 81 25"}));
}

TEST_F(TransportTransferTest, AWrongPipeOrAnUnselectedInterfaceNeverReachesTheBus) {
  const DeviceHandle unopened = StartWithBoard();
  EXPECT_EQ(Write(unopened), kUsbNoDevice);
  EXPECT_EQ(transport.ResetPipe(unopened, 1), kUsbNoDevice);
  ASSERT_EQ(transport.SetInterface(unopened, 0, 0), kUsbOk);
  bus.log.clear();

  transferred = 7;
  EXPECT_EQ(transport.Transfer(unopened, 2, true, buffer, 4, &transferred, 1000), kUsbNotFound);
  EXPECT_EQ(transferred, 0u);
  EXPECT_EQ(Write(unopened, 130), kUsbNotFound);
  EXPECT_EQ(Write(unopened, 0), kUsbNotFound);
  EXPECT_EQ(transport.ResetPipe(unopened, 0x90), kUsbNotFound);
  EXPECT_TRUE(bus.log.empty());
}

TEST_F(TransportTransferTest, LibusbFailuresArriveAsStatusesWithThePartialCount) {
  const DeviceHandle device = Attach();
  int result = LIBUSB_ERROR_TIMEOUT;
  bus.onTransfer = [&](uint8_t, uint8_t*, int, int* count) { return *count = 3, result; };
  EXPECT_EQ(transport.Transfer(device, 130, true, buffer, 25, &transferred, 1000), kUsbTimeout);
  EXPECT_EQ(transferred, 3u);
  result = LIBUSB_ERROR_PIPE;
  EXPECT_EQ(transport.Transfer(device, 2, false, buffer, 4, nullptr, 1000), kUsbStall);
  result = LIBUSB_ERROR_OVERFLOW;
  EXPECT_EQ(transport.Transfer(device, 130, true, buffer, 5, &transferred, 1000), kUsbOverflow);

  bus.clearHaltResult = LIBUSB_ERROR_NOT_FOUND;  // a board without endpoint 3
  EXPECT_EQ(transport.ResetPipe(device, 3), kUsbNotFound);
  bus.clearHaltResult = 0;
  EXPECT_EQ(transport.ResetPipe(device, 129), kUsbOk);
  EXPECT_EQ(bus.log.back(), "clearhalt 81");
}

TEST_F(TransportDepartureTest, UnpluggedMidTransferFailsAndTheDetachWaitsForPoll) {
  const DeviceHandle device = Attach();
  bus.onTransfer = [&](uint8_t, uint8_t*, int, int*) {
    // libusb runs its event handling inside a synchronous transfer.
    bus.Unplug(board);
    bus.FireHotplug();
    return LIBUSB_ERROR_NO_DEVICE;
  };
  EXPECT_EQ(transport.Transfer(device, 130, true, buffer, 6, &transferred, 1000), kUsbNoDevice);
  EXPECT_TRUE(listener.detached.empty());
  EXPECT_EQ(bus.OpenHandles(), 1);

  transport.Poll();
  EXPECT_EQ(listener.detached, std::vector<DeviceHandle>{device});
  EXPECT_EQ(bus.OpenHandles(), 0);
  EXPECT_EQ(board->refs, 0);
  bus.log.clear();
  EXPECT_EQ(Write(device), kUsbNoDevice);
  DeviceInfo info;
  EXPECT_EQ(transport.GetDeviceInfo(device, &info), kUsbNoDevice);
  EXPECT_TRUE(bus.log.empty());
}

TEST_F(TransportDepartureTest, ALeaveDuringTheListenersOwnOperationClosesTheHandle) {
  std::vector<uint32_t> statuses;
  listener.onAttach = [&](DeviceHandle device) {
    statuses.push_back(transport.SetInterface(device, 0, 0));
    statuses.push_back(Write(device));
    bus.Unplug(board);
    transport.Poll();  // the program processes events while it handles the attach
    statuses.push_back(Write(device));
    return true;
  };
  listener.onDetach = [&](DeviceHandle device) { statuses.push_back(Write(device)); };
  StartWithBoard();
  EXPECT_EQ(listener.detached, listener.attached);
  EXPECT_EQ(statuses, (std::vector<uint32_t>{kUsbOk, kUsbOk, kUsbNoDevice, kUsbNoDevice}));
  EXPECT_EQ(bus.Count("bulk"), 1);
  EXPECT_EQ(bus.Count("close"), 1);
  EXPECT_EQ(bus.OpenHandles(), 0);
  EXPECT_EQ(board->refs, 0);
}

TEST_F(TransportDepartureTest, ANestedPollDeliversEveryEventExactlyOnce) {
  FakeDevice* first = bus.Add();
  FakeDevice* second = bus.Add();
  bus.Plug(first);
  bus.Plug(second);
  int depth = 0;
  listener.onAttach = [&](DeviceHandle) {
    if (listener.attached.size() > 8) transport.Uninit(driver);  // a fault would loop for ever
    ++depth;
    if (depth < 4) transport.Poll();
    --depth;
    return true;
  };
  listener.onDetach = [&](DeviceHandle) { transport.Poll(); };
  Start();
  transport.Poll();
  ASSERT_EQ(listener.attached.size(), 2u);
  EXPECT_NE(listener.attached[0], listener.attached[1]);

  bus.Unplug(first);
  bus.Unplug(second);
  bus.Plug(bus.Add());
  transport.Poll();
  EXPECT_EQ(listener.detached,
            std::vector<DeviceHandle>(listener.attached.begin(), listener.attached.begin() + 2));
  EXPECT_EQ(listener.attached.size(), 3u);
}

TEST_F(TransportDepartureTest, EndingTheSessionInsideANotificationDropsTheRest) {
  bus.Plug(bus.Add());
  bus.Plug(bus.Add());
  listener.onAttach = [&](DeviceHandle device) {
    EXPECT_EQ(transport.SetInterface(device, 0, 0), kUsbOk);
    transport.Uninit(driver);  // the fake fails any later call without a context
    return true;
  };
  Start();
  transport.Poll();
  EXPECT_EQ(listener.attached.size(), 1u);
  EXPECT_FALSE(bus.context);
  EXPECT_EQ(bus.OpenHandles(), 0);
}

TEST_F(TransportDepartureTest, AResetThatReEnumeratesEndsTheHandle) {
  const DeviceHandle device = Attach();
  EXPECT_EQ(transport.ResetDevice(device), kUsbOk);
  EXPECT_EQ(Write(device), kUsbOk);

  bus.resetResult = LIBUSB_ERROR_NOT_FOUND;
  EXPECT_EQ(transport.ResetDevice(device), kUsbNotFound);
  EXPECT_EQ(bus.OpenHandles(), 0);
  bus.log.clear();
  EXPECT_EQ(Write(device), kUsbNoDevice);
  EXPECT_EQ(transport.SetInterface(device, 0, 0), kUsbNoDevice);
  EXPECT_TRUE(bus.log.empty());

  // The old device object leaves and a new one arrives.
  bus.Unplug(board);
  bus.Plug(bus.Add());
  transport.Poll();
  EXPECT_EQ(listener.detached, std::vector<DeviceHandle>{device});
  ASSERT_EQ(listener.attached.size(), 2u);
  EXPECT_EQ(Write(listener.attached[1]), kUsbOk);
}

}  // namespace
}  // namespace kps::usb
