#include "usb/libusb_transport.h"

#include <gtest/gtest.h>
#include <libusb.h>

#include <algorithm>
#include <array>
#include <map>
#include <set>

#include "board/usb_ids.h"

namespace kps::usb {
namespace {

using Log = std::vector<std::string>;
using Clock = std::chrono::steady_clock;

struct Board {
  int refs = 0;  // references the transport holds
  bool open = false;
  // Its firmware, as far as register frames go: the last frame on 0x02, and
  // the chip's registers it writes and reads.
  std::vector<uint8_t> frame;
  std::array<uint8_t, 16> regs{};
  // Where it sits, what it is called, who may open it, and how often it was
  // opened and claimed.
  uint8_t bus = 1;
  std::vector<uint8_t> ports{1};
  std::string serial;  // empty: the string "s3", as every string is "s" + index
  int openError = 0, opens = 0, claims = 0;
};

// libusb on a bus of boards, failing the test on misuse of libusb: a call
// without a context or on a closed handle, a reference dropped twice.
class FakeUsb : public UsbBackend {
 public:
  // libusb makes a new device object for every connection.
  Board* Plug() {
    events.push_back({plugged.emplace_back(&boards.emplace_back()), true});
    return plugged.back();
  }
  void Unplug(Board* board) { std::erase(plugged, board), events.push_back({board, false}); }

  int Init() override { return context = true, 0; }
  void Exit() override { Need(), context = false; }
  bool HasHotplug() override { return true; }
  // Boards plugged in before the registration are reported by the enumeration
  // and again by their pending arrival, as libusb may do.
  int RegisterHotplug(const UsbMatch&, HotplugSink* s) override {
    for (Board* board : plugged) s->OnHotplug(D(board), true);
    return Need(), sink = s, 0;
  }
  void DeregisterHotplug() override { Need(), sink = nullptr; }
  int HandleEvents() override {
    for (Need(); !events.empty(); events.pop_front())
      if (sink != nullptr) sink->OnHotplug(D(events.front().first), events.front().second);
    return 0;
  }
  int GetPollFds(std::vector<PollSource>* out) override { return Need(), *out = fds, 0; }
  void SetPollFdsChanged(std::function<void()> changed) override { fdsChanged = changed; }
  int NextTimeoutMs() override { return -1; }
  int GetDeviceList(std::vector<libusb_device*>* out) override {
    for (Need(); Board * b : plugged) ++b->refs, out->push_back(D(b));
    return static_cast<int>(out->size());
  }
  void RefDevice(libusb_device* d) override { ++B(d)->refs; }
  void UnrefDevice(libusb_device* d) override { EXPECT_GE(--B(d)->refs, 0) << "dropped twice"; }
  int GetDeviceIds(libusb_device*, DeviceIds* ids) override {
    *ids = {.vendorId = kDefaultVendorId, .productId = kDefaultProductId};
    return ids->manufacturerIndex = 1, ids->productIndex = 2, ids->serialIndex = 3, 0;
  }
  int GetInterfaceIds(libusb_device*, std::vector<InterfaceIds>*) override { return 0; }
  uint8_t BusNumber(libusb_device* d) override { return B(d)->bus; }
  int GetPortNumbers(libusb_device* d, std::vector<uint8_t>* ports) override {
    return *ports = B(d)->ports, static_cast<int>(ports->size());
  }
  uint8_t DeviceAddress(libusb_device*) override { return 1; }

  int Open(libusb_device* d, libusb_device_handle** handle) override {
    Need(), log.push_back("open");
    if (accessErrors > 0) return --accessErrors, LIBUSB_ERROR_ACCESS;
    if (B(d)->openError != 0) return B(d)->openError;
    return ++B(d)->opens, B(d)->open = true, *handle = reinterpret_cast<libusb_device_handle*>(d),
                          0;
  }
  void Close(libusb_device_handle* h) override { Op(h, "close"), B(h)->open = false; }
  int SetAutoDetachKernelDriver(libusb_device_handle* h, bool) override { return Op(h, "auto"); }
  int ClaimInterface(libusb_device_handle* h, int n) override {
    return ++B(h)->claims, Op(h, "claim", n);
  }
  int ReleaseInterface(libusb_device_handle* h, int n) override { return Op(h, "release", n); }
  int SetAltSetting(libusb_device_handle* h, int, int alt) override { return Op(h, "alt", alt); }
  int GetStringAscii(libusb_device_handle* h, uint8_t index, std::string* text,
                     unsigned int timeoutMs) override {
    EXPECT_TRUE(B(h)->open && timeoutMs <= 100) << "a slow or closed string request";
    ++stringReads, *text = "s" + std::to_string(index);
    if (index == 3 && !B(h)->serial.empty()) *text = B(h)->serial;
    return index == stringTimesOut ? LIBUSB_ERROR_TIMEOUT : 1;
  }
  int BulkTransfer(libusb_device_handle* h, uint8_t endpoint, uint8_t* data, int length, int* count,
                   unsigned int) override {
    *count = length, Op(h, "bulk", endpoint);
    if (halted.contains(endpoint)) return *count /= 2, LIBUSB_ERROR_PIPE;  // stalls part-way
    if (onTransfer) return onTransfer(count);
    Board& b = *B(h);
    if (endpoint == 0x02) {
      b.frame.assign(data, data + length);
      const bool write = length > 2 && (data[1] & 1) == 0;
      for (int k = 3; write && k < length; ++k) b.regs[(data[2] + k - 3) & 15] = data[k];
    }
    // A read's reply is the count, then the values; a write's the bytes acknowledged.
    const bool read = b.frame.size() > 1 && (b.frame[1] & 1) != 0;
    for (int k = 0; endpoint == 0x82 && k < length; ++k) {
      if (k == 0) data[0] = static_cast<uint8_t>(read ? b.frame[0] : b.frame.size() - 1);
      if (k > 0) data[k] = read ? b.regs[(b.frame[2] + k - 1) & 15] : 0;
    }
    return 0;
  }
  int ClearHalt(libusb_device_handle* h, uint8_t endpoint) override {
    const int result = Op(h, "clearhalt", endpoint);
    if (result == 0) halted.erase(endpoint);
    return result;
  }
  int ResetDevice(libusb_device_handle* h) override { return Op(h, "reset"); }
  Clock::time_point Now() override { return now; }
  void Sleep(std::chrono::milliseconds duration) override { now += duration; }

  std::deque<Board> boards;
  std::vector<Board*> plugged;
  std::deque<std::pair<Board*, bool>> events;  // not yet handled by libusb
  HotplugSink* sink = nullptr;
  bool context = false;
  Log log;  // the calls that reach a board
  std::function<int(int* count)> onTransfer;
  std::set<int> halted;               // endpoints that stall until cleared
  std::map<std::string, int> answer;  // a call's result, 0 unless set here
  Clock::time_point now{};
  std::vector<PollSource> fds;
  std::function<void()> fdsChanged;
  int accessErrors = 0, stringReads = 0, stringTimesOut = 0;

 private:
  static Board* B(void* p) { return static_cast<Board*>(p); }
  static libusb_device* D(Board* board) { return reinterpret_cast<libusb_device*>(board); }
  void Need() { EXPECT_TRUE(context) << "a libusb call without a context"; }
  int Op(libusb_device_handle* h, const std::string& call, int n = -1) {
    EXPECT_TRUE(context && B(h)->open) << call << " without a context or on a closed handle";
    return log.push_back(n < 0 ? call : call + " " + std::to_string(n)), answer[call];
  }
};

struct Listener : TransportListener {
  bool DeviceAttach(DeviceHandle d) override { return attached.push_back(d), onAttach(d), true; }
  void DeviceDetach(DeviceHandle d) override { detached.push_back(d), onDetach(d); }
  std::vector<DeviceHandle> attached, detached;
  std::function<void(DeviceHandle)> onAttach = [](DeviceHandle) {}, onDetach = onAttach;
};

class TransportTest : public ::testing::Test {
 protected:
  void Start() { ASSERT_EQ(transport.Init(match, &listener, &driver), kUsbOk); }
  // A board plugged in before the start, optionally with its interface selected.
  DeviceHandle StartWithBoard(bool select) {
    board = usb.Plug();
    Start();
    EXPECT_TRUE(listener.attached.empty()) << "only Poll() notifies";
    transport.Poll();
    const DeviceHandle device = listener.attached.empty() ? 0 : listener.attached[0];
    EXPECT_TRUE(!select || transport.SetInterface(device, 0, 0) == kUsbOk);
    usb.log.clear();
    return device;
  }
  uint32_t Write(DeviceHandle device, uint32_t pipe = 2, bool read = false) {
    uint8_t buffer[4] = {};
    return transport.Transfer(device, pipe, read, buffer, 4, nullptr, 1000);
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
};

TEST_F(TransportTest, NotificationsComeOnlyFromPollWithFreshHandlesAndUninitEndsEverything) {
  StartWithBoard(false);
  ASSERT_EQ(listener.attached.size(), 1u) << "a board present at start attaches once";
  usb.Unplug(board);
  usb.Plug();  // the same board back: a new device
  transport.Poll();
  EXPECT_EQ(listener.detached, std::vector<DeviceHandle>{listener.attached[0]});
  const DeviceHandle device = listener.attached.at(1);
  ASSERT_EQ(transport.SetInterface(device, 0, 0), kUsbOk);

  usb.Plug();
  usb.HandleEvents();  // an arrival queued but not yet delivered
  usb.log.clear();
  transport.Uninit(driver + 1);  // not this session's
  EXPECT_TRUE(usb.context);
  transport.Uninit(driver);
  transport.Uninit(driver);
  transport.Poll();
  EXPECT_EQ(Write(device), kUsbNoDevice);
  EXPECT_EQ(usb.log, (Log{"release 0", "close"}));
  EXPECT_FALSE(usb.context);

  Start();  // both boards again, with new numbers
  transport.Poll();
  EXPECT_EQ(std::set<DeviceHandle>(listener.attached.begin(), listener.attached.end()).size(), 4u);
}

TEST_F(TransportTest, AnAccessErrorIsRetriedOnlySoonAfterTheArrivalAndStringsAreReadOnce) {
  const DeviceHandle late = StartWithBoard(false);
  usb.accessErrors = 1000;
  EXPECT_EQ(transport.SetInterface(late, 0, 0), kUsbAccessDenied);
  EXPECT_EQ(usb.now, Clock::time_point{} + kOpenRetryWindow);
  usb.log.clear();
  EXPECT_EQ(transport.SetInterface(late, 0, 0), kUsbAccessDenied);  // the window runs from arrival

  usb.Plug();
  transport.Poll();
  const DeviceHandle fresh = listener.attached.at(1);
  usb.accessErrors = 2, usb.stringTimesOut = 2;  // udev not done yet; a string times out
  ASSERT_EQ(transport.SetInterface(fresh, 0, 0), kUsbOk);
  ASSERT_EQ(transport.SetInterface(fresh, 0, 1), kUsbOk);
  // One open for the late board, three for the fresh one.
  EXPECT_EQ(usb.log, (Log{"open", "open", "open", "open", "auto", "claim 0", "alt 0", "alt 1"}));
  DeviceInfo info;
  for (int i = 0; i < 3; ++i) ASSERT_EQ(transport.GetDeviceInfo(fresh, &info), kUsbOk);
  EXPECT_EQ(usb.stringReads, 2);
  EXPECT_EQ(info.manufacturer + "|" + info.product + "|" + info.serial, "s1||");
}

TEST_F(TransportTest, ABoardUnpluggedMidTransferFailsAsksForAPollAndDetachesThere) {
  usb.fds = {{4, true, false}};
  const DeviceHandle device = StartWithBoard(true);
  int changes = 0;
  transport.SetPollChanged([&] { ++changes; });
  EXPECT_EQ(transport.PollIntervalMs(), -1);
  usb.fds.push_back({9, false, true});  // libusb added a descriptor
  usb.fdsChanged();
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(transport.PollSources(), usb.fds);

  EXPECT_EQ(Write(device, 2, true), kUsbNotFound);  // against the pipe's direction
  EXPECT_EQ(Write(device, 130, true), kUsbOk);
  usb.onTransfer = [&](int*) {
    usb.Unplug(board);
    usb.HandleEvents();  // libusb handles events inside a synchronous transfer
    return LIBUSB_ERROR_NO_DEVICE;
  };
  EXPECT_EQ(Write(device), kUsbNoDevice);
  EXPECT_TRUE(listener.detached.empty());
  EXPECT_EQ(changes, 2);  // no descriptor will signal the queued departure
  EXPECT_EQ(transport.PollIntervalMs(), 0);
  transport.Poll();
  EXPECT_EQ(listener.detached, listener.attached);
  EXPECT_EQ(Write(device), kUsbNoDevice);
  EXPECT_EQ(usb.log, (Log{"bulk 130", "bulk 2", "release 0", "close"}));
  transport.Uninit(driver);
  EXPECT_EQ(changes, 3);
  EXPECT_TRUE(transport.PollSources().empty());
}

TEST_F(TransportTest, AFailedTransferReportsWhatItMovedAndAStalledEndpointIsClearedOnce) {
  const DeviceHandle device = StartWithBoard(true);
  uint8_t buffer[4] = {};
  uint32_t moved = 0;
  const auto read = [&] { return transport.Transfer(device, 130, true, buffer, 4, &moved, 1000); };
  usb.onTransfer = [](int* count) { return *count = 3, LIBUSB_ERROR_TIMEOUT; };
  EXPECT_EQ(read(), kUsbTimeout);
  EXPECT_EQ(moved, 3u);
  usb.onTransfer = nullptr, usb.halted = {0x82};
  EXPECT_EQ(read(), kUsbStall);
  EXPECT_EQ(moved, 2u);
  EXPECT_EQ(read(), kUsbOk);
  usb.halted = {0x02}, usb.answer["clearhalt"] = LIBUSB_ERROR_IO;
  EXPECT_EQ(Write(device), kUsbStall);  // a clear that fails is left at that
  EXPECT_EQ(usb.log,
            (Log{"bulk 130", "bulk 130", "clearhalt 130", "bulk 130", "bulk 2", "clearhalt 2"}));
}

TEST_F(TransportTest, AResetThatReEnumeratesTheBoardClosesItsHandleOnceAndKillsIt) {
  const DeviceHandle device = StartWithBoard(true);
  usb.answer["reset"] = LIBUSB_ERROR_NOT_FOUND;
  EXPECT_EQ(transport.ResetDevice(device), kUsbNotFound);
  EXPECT_FALSE(board->open);
  EXPECT_EQ(Write(device), kUsbNoDevice);
  EXPECT_EQ(transport.SetInterface(device, 0, 0), kUsbNoDevice);  // not opened again
  usb.Unplug(board);
  transport.Poll();
  EXPECT_EQ(listener.detached, std::vector<DeviceHandle>{device});  // still due after the reset
  transport.Uninit(driver);
  EXPECT_EQ(usb.log, (Log{"reset", "release 0", "close"}));
}

TEST_F(TransportTest, ABoardLeavingDuringItsAttachIsClosedOnceAndThenFails) {
  std::vector<uint32_t> statuses;
  listener.onAttach = [&](DeviceHandle device) {
    statuses.push_back(transport.SetInterface(device, 0, 0));
    usb.Unplug(board);
    transport.Poll();  // the program processes events while it handles the attach
    statuses.push_back(Write(device));
  };
  listener.onDetach = [&](DeviceHandle device) { statuses.push_back(Write(device)); };
  StartWithBoard(false);
  EXPECT_EQ(listener.detached, listener.attached);
  EXPECT_EQ(statuses, (std::vector<uint32_t>{kUsbOk, kUsbNoDevice, kUsbNoDevice}));
  EXPECT_FALSE(board->open);  // closed on the departure, and only once
}

TEST_F(TransportTest, ListingOpensEachBoardOnceWithoutClaimingAndAChoiceAnnouncesOnlyItsBoard) {
  Board& a = *usb.Plug();
  Board& b = *usb.Plug();
  a.ports = {4, 2}, a.serial = "EMU-A";
  b.bus = 2, b.ports = {3}, b.serial = "EMU-B";
  usb.events.clear();
  std::vector<AttachedBoard> boards;
  ASSERT_EQ(transport.ListBoards(match, &boards), kUsbOk);
  EXPECT_FALSE(usb.context) << "a listing without a session ends its own context";
  ASSERT_EQ(boards.size(), 2u);
  EXPECT_EQ(boards[0].info.portPath + " " + boards[0].info.serial, "1-4.2 EMU-A");
  EXPECT_EQ(boards[1].info.portPath + " " + boards[1].info.serial, "2-3 EMU-B");
  b.openError = LIBUSB_ERROR_ACCESS;
  ASSERT_EQ(transport.ListBoards(match, &boards), kUsbOk);
  EXPECT_TRUE(boards[0].openable() && boards[1].openStatus == kUsbAccessDenied &&
              boards[1].info.serial.empty());
  b.openError = 0;
  EXPECT_TRUE(a.opens == 2 && b.opens == 1 && a.claims + b.claims == 0 && !a.open && !b.open);

  struct Case {
    std::string choice;
    std::vector<Board*> announced;
    int opensOfA;  // to read its serial, and to claim it when chosen
  };
  for (const Case& c : {Case{"", {&a, &b}, 1}, Case{"EMU-B", {&b}, 1}, Case{"2-3", {&b}, 0},
                        Case{"01-4.2", {&a}, 1}, Case{"1-4", {}, 0}, Case{"EMU-C", {}, 1}}) {
    SCOPED_TRACE("--board " + c.choice);
    a.opens = b.opens = a.claims = b.claims = 0;
    listener.attached.clear();
    match.board = c.choice;
    Start();
    transport.Poll();
    ASSERT_EQ(listener.attached.size(), c.announced.size());
    for (const DeviceHandle device : listener.attached) {
      ASSERT_EQ(transport.SetInterface(device, 0, 0), kUsbOk);
    }
    EXPECT_EQ(a.opens, c.opensOfA);
    for (Board* board : {&a, &b}) {
      const bool chosen = std::ranges::find(c.announced, board) != c.announced.end();
      EXPECT_EQ(board->claims, chosen ? 1 : 0);
      EXPECT_EQ(board->open, chosen) << "a board not chosen is closed again";
    }
    const int opens = a.opens + b.opens;
    ASSERT_EQ(transport.ListBoards(match, &boards), kUsbOk);
    EXPECT_EQ(a.opens + b.opens, opens + 2 - static_cast<int>(c.announced.size()))
        << "a listing inside the session does not open a board the session holds";
    EXPECT_TRUE(boards.size() == 2u && usb.context);
    transport.Uninit(driver);
  }
}

}  // namespace
}  // namespace kps::usb
