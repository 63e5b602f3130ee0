// The transport's bookkeeping over a scripted bus: notifications only from
// Poll(), handle lifetimes, the open retry, and boards that leave while the
// program is using them.
#include "usb/libusb_transport.h"

#include <gtest/gtest.h>
#include <libusb.h>

#include <deque>
#include <functional>
#include <set>
#include <vector>

#include "board/usb_ids.h"

namespace kps::usb {
namespace {

using Log = std::vector<std::string>;
using Clock = std::chrono::steady_clock;

struct Board {
  int refs = 0;  // references the transport holds
  bool open = false;
};
template <typename T>
Board* B(T* p) {
  return reinterpret_cast<Board*>(p);
}

// libusb on a bus of boards, failing the test on misuse of libusb: a call
// without a context or on a closed handle, a reference dropped twice, a
// context ended with handles open.
class FakeUsb : public UsbBackend {
 public:
  // libusb makes a new device object for every connection.
  Board* Plug() {
    Board* board = &boards.emplace_back();
    plugged.push_back(board);
    events.push_back({board, true});
    return board;
  }
  void Unplug(Board* board) {
    std::erase(plugged, board);
    events.push_back({board, false});
  }

  int Init() override { return context = true, 0; }
  void Exit() override {
    Need();
    for (const Board& board : boards)
      EXPECT_FALSE(board.open) << "context ended with a handle open";
    context = false;
  }
  bool HasHotplug() override { return true; }
  // Boards plugged in before the registration are reported by the enumeration
  // and again by their pending arrival, as libusb may do.
  int RegisterHotplug(const UsbMatch&, HotplugSink* s) override {
    Need();
    sink = s;
    for (Board* board : plugged) sink->OnHotplug(reinterpret_cast<libusb_device*>(board), true);
    return 0;
  }
  void DeregisterHotplug() override { Need(), sink = nullptr; }
  int HandleEvents() override {
    Need();
    for (; !events.empty(); events.pop_front()) {
      const auto [board, arrived] = events.front();
      if (sink != nullptr) sink->OnHotplug(reinterpret_cast<libusb_device*>(board), arrived);
    }
    return 0;
  }
  int GetPollFds(std::vector<PollSource>* out) override { return Need(), *out = fds, 0; }
  void SetPollFdsChanged(std::function<void()> changed) override { fdsChanged = changed; }
  int NextTimeoutMs() override { return -1; }
  int GetDeviceList(std::vector<libusb_device*>*) override { return LIBUSB_ERROR_NOT_SUPPORTED; }
  void RefDevice(libusb_device* d) override { ++B(d)->refs; }
  void UnrefDevice(libusb_device* d) override {
    EXPECT_GT(B(d)->refs, 0) << "a reference dropped twice";
    --B(d)->refs;
  }
  int GetDeviceIds(libusb_device*, DeviceIds* ids) override {
    *ids = {.vendorId = kDefaultVendorId, .productId = kDefaultProductId};
    ids->manufacturerIndex = 1, ids->productIndex = 2, ids->serialIndex = 3;
    return 0;
  }
  int GetInterfaceIds(libusb_device*, std::vector<InterfaceIds>*) override { return 0; }
  uint8_t BusNumber(libusb_device*) override { return 1; }
  uint8_t DeviceAddress(libusb_device*) override { return 1; }

  int Open(libusb_device* d, libusb_device_handle** handle) override {
    Need();
    log.push_back("open");
    EXPECT_GT(B(d)->refs, 0) << "opening a device nobody holds";
    const int result = openResults.empty() ? 0 : openResults.front();
    if (!openResults.empty()) openResults.pop_front();
    if (result == 0) B(d)->open = true, *handle = reinterpret_cast<libusb_device_handle*>(d);
    return result;
  }
  void Close(libusb_device_handle* h) override { Op(h, "close"), B(h)->open = false; }
  int SetAutoDetachKernelDriver(libusb_device_handle* h, bool) override { return Op(h, "auto"); }
  int ClaimInterface(libusb_device_handle* h, int n) override { return Op(h, "claim", n); }
  int ReleaseInterface(libusb_device_handle* h, int n) override { return Op(h, "release", n); }
  int SetAltSetting(libusb_device_handle* h, int, int alt) override { return Op(h, "alt", alt); }
  int GetStringAscii(libusb_device_handle* h, uint8_t index, std::string* text,
                     unsigned int timeoutMs) override {
    EXPECT_TRUE(B(h)->open && timeoutMs <= 100) << "a slow or closed string request";
    ++stringReads, *text = "s" + std::to_string(index);
    return index == stringTimesOut ? LIBUSB_ERROR_TIMEOUT : 1;
  }
  int BulkTransfer(libusb_device_handle* h, uint8_t endpoint, uint8_t*, int length, int* count,
                   unsigned int) override {
    *count = length;
    Op(h, "bulk", endpoint);
    return onTransfer ? onTransfer() : 0;
  }
  int ClearHalt(libusb_device_handle* h, uint8_t) override { return Op(h, "clearhalt"); }
  int ResetDevice(libusb_device_handle* h) override { return Op(h, "reset"); }
  Clock::time_point Now() override { return now; }
  void Sleep(std::chrono::milliseconds duration) override { now += duration; }

  std::deque<Board> boards;
  std::vector<Board*> plugged;
  std::deque<std::pair<Board*, bool>> events;  // not yet handled by libusb
  HotplugSink* sink = nullptr;
  bool context = false;
  Log log;                      // the calls that reach a board
  std::deque<int> openResults;  // success once empty
  std::function<int()> onTransfer;
  Clock::time_point now{};
  std::vector<PollSource> fds;
  std::function<void()> fdsChanged;
  int stringReads = 0, stringTimesOut = 0;

 private:
  void Need() { EXPECT_TRUE(context) << "a libusb call without a context"; }
  int Op(libusb_device_handle* h, const std::string& call, int n = -1) {
    Need();
    EXPECT_TRUE(B(h)->open) << call << " on a closed handle";
    log.push_back(n < 0 ? call : call + " " + std::to_string(n));
    return 0;
  }
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
  void Start() { ASSERT_EQ(transport.Init(match, &listener, &driver), kUsbOk); }
  // A board plugged in before the start, optionally with its interface selected.
  DeviceHandle StartWithBoard(bool select) {
    board = usb.Plug();
    Start();
    transport.Poll();
    const DeviceHandle device = listener.attached.empty() ? 0 : listener.attached[0];
    EXPECT_TRUE(!select || transport.SetInterface(device, 0, 0) == kUsbOk);
    usb.log.clear();
    return device;
  }
  uint32_t Write(DeviceHandle device, uint32_t pipe = 2, bool read = false) {
    return transport.Transfer(device, pipe, read, buffer, 4, &transferred, 1000);
  }
  void TearDown() override {
    transport.Uninit(driver);
    EXPECT_FALSE(usb.context);
    for (const Board& b : usb.boards) EXPECT_TRUE(b.refs == 0 && !b.open) << "a board leaked";
  }

  std::unique_ptr<FakeUsb> owned = std::make_unique<FakeUsb>();
  FakeUsb& usb = *owned;
  LibusbTransport transport{std::move(owned)};
  Listener listener;
  UsbMatch match{.vendorId = kDefaultVendorId, .productId = kDefaultProductId};
  DriverHandle driver = 0;
  Board* board = nullptr;
  uint8_t buffer[4] = {};
  uint32_t transferred = 0;
};

TEST_F(TransportTest, NotificationsComeOnlyFromPollAndEachArrivalGetsAFreshHandle) {
  board = usb.Plug();
  Start();
  EXPECT_TRUE(listener.attached.empty());
  transport.Poll();
  transport.Poll();
  EXPECT_EQ(listener.attached.size(), 1u) << "a board present at start attaches once";

  usb.Unplug(board);
  usb.Plug();  // the same board back: a new device
  EXPECT_TRUE(listener.detached.empty());
  transport.Poll();
  EXPECT_EQ(listener.detached, std::vector<DeviceHandle>{listener.attached.at(0)});
  transport.Uninit(driver);
  Start();
  transport.Poll();
  ASSERT_EQ(listener.attached.size(), 3u);
  EXPECT_EQ(std::set<DeviceHandle>(listener.attached.begin(), listener.attached.end()).size(), 3u);
}

TEST_F(TransportTest, SetInterfaceOpensClaimsAndSelectsRetryingAnEarlyAccessError) {
  const DeviceHandle device = StartWithBoard(false);
  usb.openResults = {LIBUSB_ERROR_ACCESS, LIBUSB_ERROR_ACCESS};  // udev not done yet
  ASSERT_EQ(transport.SetInterface(device, 0, 0), kUsbOk);
  EXPECT_EQ(usb.log, (Log{"open", "open", "open", "auto", "claim 0", "alt 0"}));
  EXPECT_EQ(usb.now, Clock::time_point{} + 2 * kOpenRetryStep);
  usb.log.clear();
  ASSERT_EQ(transport.SetInterface(device, 0, 1), kUsbOk);
  EXPECT_EQ(usb.log, Log{"alt 1"});
}

TEST_F(TransportTest, ALastingAccessErrorIsAccessDeniedOnceTheWindowIsOver) {
  const DeviceHandle device = StartWithBoard(false);
  usb.openResults.assign(1000, LIBUSB_ERROR_ACCESS);
  EXPECT_EQ(transport.SetInterface(device, 0, 0), kUsbAccessDenied);
  EXPECT_GE(usb.now - Clock::time_point{}, kOpenRetryWindow);
  EXPECT_LT(usb.now - Clock::time_point{}, kOpenRetryWindow + kOpenRetryStep);
  usb.now += std::chrono::seconds(5);  // the window runs from the arrival
  usb.log.clear();
  EXPECT_EQ(transport.SetInterface(device, 0, 0), kUsbAccessDenied);
  EXPECT_EQ(usb.log, Log{"open"});
}

TEST_F(TransportTest, ATransferAgainstThePipesDirectionNeverReachesTheBus) {
  const DeviceHandle device = StartWithBoard(true);
  EXPECT_EQ(Write(device, 2, true), kUsbNotFound);
  EXPECT_EQ(Write(device, 130, false), kUsbNotFound);
  EXPECT_TRUE(usb.log.empty());
  EXPECT_EQ(Write(device, 130, true), kUsbOk);
  EXPECT_EQ(usb.log, Log{"bulk 130"});
}

TEST_F(TransportTest, ABoardUnpluggedMidTransferFailsAndItsDetachWaitsForPoll) {
  const DeviceHandle device = StartWithBoard(true);
  usb.onTransfer = [&] {
    usb.Unplug(board);
    usb.HandleEvents();  // libusb handles events inside a synchronous transfer
    return LIBUSB_ERROR_NO_DEVICE;
  };
  EXPECT_EQ(Write(device), kUsbNoDevice);
  EXPECT_TRUE(listener.detached.empty());
  transport.Poll();
  EXPECT_EQ(listener.detached, listener.attached);
  usb.log.clear();
  EXPECT_EQ(Write(device), kUsbNoDevice);
  EXPECT_TRUE(usb.log.empty());
}

TEST_F(TransportTest, ABoardLeavingDuringItsAttachIsClosedOnceAndThenFails) {
  std::vector<uint32_t> statuses;
  listener.onAttach = [&](DeviceHandle device) {
    statuses.push_back(transport.SetInterface(device, 0, 0));
    usb.Unplug(board);
    transport.Poll();  // the program processes events while it handles the attach
    statuses.push_back(Write(device));
    return true;
  };
  listener.onDetach = [&](DeviceHandle device) { statuses.push_back(Write(device)); };
  StartWithBoard(false);
  EXPECT_EQ(listener.detached, listener.attached);
  EXPECT_EQ(statuses, (std::vector<uint32_t>{kUsbOk, kUsbNoDevice, kUsbNoDevice}));
  EXPECT_FALSE(board->open);  // closed on the departure, and only once
}

TEST_F(TransportTest, UninitReleasesEverythingOnceAndEndsTheHandles) {
  const DeviceHandle device = StartWithBoard(true);
  usb.Plug();
  usb.HandleEvents();            // an arrival queued but not yet delivered
  transport.Uninit(driver + 1);  // not this session's
  EXPECT_TRUE(usb.context);
  transport.Uninit(driver);
  EXPECT_EQ(usb.log, (Log{"release 0", "close"}));
  EXPECT_FALSE(usb.context);
  transport.Uninit(driver);
  transport.Poll();
  EXPECT_EQ(Write(device), kUsbNoDevice);
  EXPECT_EQ(usb.log.size(), 2u);
}

TEST_F(TransportTest, DeviceStringsAreReadOnceAtOpenAndNotPastATimeout) {
  const DeviceHandle device = StartWithBoard(false);
  usb.stringTimesOut = 2;
  DeviceInfo info;
  ASSERT_EQ(transport.SetInterface(device, 0, 0), kUsbOk);
  for (int i = 0; i < 3; ++i) ASSERT_EQ(transport.GetDeviceInfo(device, &info), kUsbOk);
  EXPECT_EQ(usb.stringReads, 2);
  EXPECT_EQ(info.manufacturer + "|" + info.product + "|" + info.serial, "s1||");
}

TEST_F(TransportTest, PollSourcesFollowLibusbsDescriptorsAndQueuedEventsAskForAPoll) {
  int changes = 0;
  transport.SetPollChanged([&] { ++changes; });
  usb.fds = {{4, true, false}};
  StartWithBoard(false);
  EXPECT_EQ(transport.PollSources(), usb.fds);
  EXPECT_EQ(transport.PollIntervalMs(), -1);
  usb.fds.push_back({9, false, true});  // a device opened
  const int before = changes;
  usb.fdsChanged();
  EXPECT_EQ(changes, before + 1);
  EXPECT_EQ(transport.PollSources(), usb.fds);
  usb.Unplug(board);
  usb.HandleEvents();  // inside a transfer, say: no descriptor will signal it again
  EXPECT_EQ(changes, before + 2);
  EXPECT_EQ(transport.PollIntervalMs(), 0);
  transport.Uninit(driver);
  EXPECT_TRUE(transport.PollSources().empty());
}

}  // namespace
}  // namespace kps::usb
