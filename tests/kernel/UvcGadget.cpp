// sv_uvc_gadget: a simulated camera on a real USB bus. Through gadgetfs it
// presents one device of a simulator world as a USB video class camera
// (identity, formats, controls, the maker's extension unit), answers the
// host's requests from the simulator's device models and streams the
// simulator's test pattern over a bulk endpoint. Runs until SIGTERM/SIGINT
// (or, told to, until it leaves the bus after some frames). Faults on
// request: stalled controls, frames cut short, leaving the bus mid-stream.
// The options: kUsage in GadgetOptions.cpp.

#include <endian.h>
#include <fcntl.h>
#include <linux/usb/ch9.h>
#include <linux/usb/gadgetfs.h>
#include <poll.h>
#include <pthread.h>
#include <sched.h>
#include <signal.h>
#include <sys/uio.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fstream>
#include <mutex>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "kernel/GadgetOptions.h"
#include "kernel/SimCamera.h"
#include "kernel/UvcFunction.h"
#include "kernel/UvcPayload.h"

namespace sv::gadget {
namespace {

bool gVerbose = false;
volatile sig_atomic_t gQuit = 0;
std::atomic<bool> gLeft{false};  // the device left the bus on purpose

void Log(const char* format, ...) __attribute__((format(printf, 1, 2)));
void Log(const char* format, ...) {
    char text[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    std::fprintf(stderr, "sv_uvc_gadget: %s\n", text);
}

void OnQuit(int) { gQuit = 1; }
void OnKick(int) {}

// Real-time scheduling for the calling thread, when the system allows it.
void MakeRealtime(int priority, const char* who) {
    sched_param param{};
    param.sched_priority = priority;
    const int rc = pthread_setschedparam(pthread_self(), SCHED_FIFO, &param);
    if (rc != 0) Log("%s: no real-time priority (%s)", who, std::strerror(rc));
}

// ---- streaming ----

// Writes the committed stream's frames to the bulk endpoint. A new commit
// or a stop interrupts a write in progress (the host stops a bulk stream
// without telling the device, so a write may wait for ever): the stream's
// thread is signalled until it lets go, which dequeues its request.
class Streamer {
public:
    Streamer(SimCamera& camera, const Faults& faults) : camera_(camera), faults_(faults) {}

    void Begin() {
        worker_ = std::thread([this] { Run(); });
        kicker_ = std::thread([this] { Kick(); });
    }

    void Start(const StreamSettings& s, int fd, uint16_t packet) {
        std::lock_guard<std::mutex> lock(mutex_);
        settings_ = s;
        fd_ = fd;
        packet_ = packet;
        active_ = true;
        current_.store(++generation_);
        cv_.notify_all();
    }

    // Without `wait` the stop is under way when this returns.
    void Stop(bool wait) {
        std::unique_lock<std::mutex> lock(mutex_);
        active_ = false;
        current_.store(++generation_);
        cv_.notify_all();
        if (wait) cv_.wait(lock, [this] { return seen_ == generation_; });
    }

    void End() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            quit_ = true;
            current_.store(++generation_);
            cv_.notify_all();
        }
        if (worker_.joinable()) worker_.join();
        {
            std::lock_guard<std::mutex> lock(mutex_);
            exited_ = true;
            cv_.notify_all();
        }
        if (kicker_.joinable()) kicker_.join();
    }

private:
    void Run() {
        sigset_t kick;
        sigemptyset(&kick);
        sigaddset(&kick, SIGUSR1);
        pthread_sigmask(SIG_UNBLOCK, &kick, nullptr);
        {
            std::lock_guard<std::mutex> lock(mutex_);
            workerThread_ = pthread_self();
            workerKnown_ = true;
        }
        MakeRealtime(40, "stream");
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            cv_.wait(lock, [this] { return quit_ || generation_ != seen_; });
            seen_ = generation_;
            cv_.notify_all();
            if (quit_) break;
            if (!active_) continue;
            const uint64_t generation = seen_;
            const StreamSettings settings = settings_;
            const int fd = fd_;
            const uint16_t packet = packet_;
            lock.unlock();
            Stream(generation, settings, fd, packet);
            lock.lock();
        }
    }

    void Stream(uint64_t generation, const StreamSettings& s, int fd, uint16_t packet) {
        std::string error;
        if (!camera_.Select(s, error)) {
            Log("stream: %s", error.c_str());
            return;
        }
        Log("stream: %s %ux%u, interval %u, payloads of %u bytes", sim::PixelFormatName(s.format), s.width, s.height,
            s.rate.interval, s.maxPayload);
        bool frameId = false;
        uint64_t frames = 0;
        while (current_.load() == generation) {
            if (faults_.LeaveAfter(frames)) {
                Leave(frames);
                return;
            }
            std::shared_ptr<platform::Sample> sample;
            const SimCamera::FrameResult r = camera_.NextFrame(sample, 100);
            if (r == SimCamera::FrameResult::Timeout) continue;
            if (r == SimCamera::FrameResult::Failed) {
                // A frame the device could not make: an empty one marked in error.
                uint8_t header[kPayloadHeaderLength] = {kPayloadHeaderLength,
                    static_cast<uint8_t>(kHeaderEnd | kHeaderEndOfFrame | kHeaderError | (frameId ? kHeaderFrameId : 0))};
                if (write(fd, header, sizeof header) < 0 && !Written(generation, "error payload")) return;
                frameId = !frameId;
                ++frames;
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
                continue;
            }
            const uint8_t* bytes = nullptr;
            uint32_t length = 0;
            if (sample->Lock(bytes, length) != platform::HR_S_OK || bytes == nullptr) continue;
            const bool cut = faults_.ShortFrame(frames);
            if (cut) Log("stream: frame %llu cut short, %zu of %u bytes", static_cast<unsigned long long>(frames),
                         ShortFrameLength(length), length);
            for (const Payload& p : cut ? PackShortFrame(length, frameId, s.maxPayload, packet)
                                        : PackFrame(length, frameId, s.maxPayload, packet)) {
                if (current_.load() != generation) return;
                iovec parts[2] = {{const_cast<uint8_t*>(p.header), kPayloadHeaderLength},
                                  {const_cast<uint8_t*>(bytes + p.offset), p.length}};
                if (writev(fd, parts, 2) < 0) {
                    if (!Written(generation, "payload")) return;
                    break;  // the rest of this frame is lost
                }
            }
            sample->Unlock();
            frameId = !frameId;
            ++frames;
            if (gVerbose && frames % 30 == 1) Log("stream: %llu frames", static_cast<unsigned long long>(frames));
        }
    }

    // Leaves the bus: the main thread is woken to close endpoint 0.
    void Leave(uint64_t frames) {
        Log("stream: %llu frames sent, leaving the bus", static_cast<unsigned long long>(frames));
        gLeft = true;
        kill(getpid(), SIGTERM);
    }

    // After a failed write: true when the stream goes on.
    bool Written(uint64_t generation, const char* what) {
        const int e = errno;
        if (e == EINTR && current_.load() != generation) return false;  // interrupted on purpose
        Log("stream: %s not sent (%s); waiting for the next commit", what, std::strerror(e));
        return false;
    }

    // Signals the worker while it has not seen the latest change.
    void Kick() {
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            cv_.wait(lock, [this] { return exited_ || generation_ != seen_; });
            if (exited_) return;
            while (!exited_ && generation_ != seen_) {
                if (workerKnown_) pthread_kill(workerThread_, SIGUSR1);
                cv_.wait_for(lock, std::chrono::milliseconds(2));
            }
        }
    }

    SimCamera& camera_;
    const Faults& faults_;
    std::mutex mutex_;
    std::condition_variable cv_;
    uint64_t generation_ = 0;
    uint64_t seen_ = 0;
    std::atomic<uint64_t> current_{0};
    bool active_ = false;
    bool quit_ = false;
    bool exited_ = false;
    StreamSettings settings_;
    int fd_ = -1;
    uint16_t packet_ = kHighSpeedBulkPacket;
    pthread_t workerThread_{};
    bool workerKnown_ = false;
    std::thread worker_;
    std::thread kicker_;
};

// ---- gadgetfs ----

std::vector<std::string> Entries(const std::string& dir) {
    std::vector<std::string> names;
    if (DIR* d = opendir(dir.c_str())) {
        while (dirent* e = readdir(d)) {
            if (e->d_name[0] != '.') names.emplace_back(e->d_name);
        }
        closedir(d);
    }
    return names;
}

void PutU32(std::vector<uint8_t>& d, uint32_t v) {
    for (int i = 0; i < 4; ++i) d.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

class Gadget {
public:
    Gadget(const Options& o, UvcFunction& function, Streamer& streamer)
        : options_(o), function_(function), streamer_(streamer) {}
    ~Gadget() {
        if (endpoint_ >= 0) close(endpoint_);
        if (ep0_ >= 0) close(ep0_);
    }

    bool Open() {
        std::string udc = options_.udc;
        if (udc.empty()) {
            for (const std::string& n : Entries(options_.gadgetDir)) {
                if (n.compare(0, 2, "ep") != 0) udc = n;
            }
        }
        if (udc.empty()) {
            Log("no controller in %s (is gadgetfs mounted there?)", options_.gadgetDir.c_str());
            return false;
        }
        const std::string path = options_.gadgetDir + "/" + udc;
        ep0_ = open(path.c_str(), O_RDWR);
        if (ep0_ < 0) {
            Log("%s: %s", path.c_str(), std::strerror(errno));
            return false;
        }
        const UvcLayout& l = function_.Layout();
        std::vector<uint8_t> d;
        PutU32(d, 0);
        const auto fs = ConfigurationDescriptor(l, kFullSpeedBulkPacket);
        const auto hs = ConfigurationDescriptor(l, kHighSpeedBulkPacket);
        const auto dev = DeviceDescriptor(l);
        d.insert(d.end(), fs.begin(), fs.end());
        d.insert(d.end(), hs.begin(), hs.end());
        d.insert(d.end(), dev.begin(), dev.end());
        if (write(ep0_, d.data(), d.size()) != static_cast<ssize_t>(d.size())) {
            Log("%s: descriptors refused (%s)", path.c_str(), std::strerror(errno));
            return false;
        }
        Log("%s: %04x:%04x \"%s\" serial \"%s\", %zu formats, extension unit %s, configuration of %zu bytes",
            path.c_str(), l.vendorId, l.productId, l.product.c_str(), l.serial.c_str(), l.formats.size(),
            l.extensionUnit ? "yes" : "no", hs.size());
        for (const std::string& size : l.leftOut) Log("%s: left out, no room in the configuration", size.c_str());
        return true;
    }

    // Until a quit signal.
    void Serve(const sigset_t& waitMask) {
        MakeRealtime(50, "ep0");
        while (!gQuit) {
            pollfd p{ep0_, POLLIN, 0};
            const int rc = ppoll(&p, 1, nullptr, &waitMask);
            if (rc < 0) {
                if (errno == EINTR) continue;
                Log("ep0 poll: %s", std::strerror(errno));
                return;
            }
            usb_gadgetfs_event events[8];
            const ssize_t n = read(ep0_, events, sizeof events);
            if (n < 0) {
                if (errno == EINTR || errno == EAGAIN || errno == EIDRM) continue;
                Log("ep0 read: %s", std::strerror(errno));
                return;
            }
            for (ssize_t i = 0; i < n / static_cast<ssize_t>(sizeof events[0]); ++i) Event(events[i]);
        }
    }

private:
    void Event(const usb_gadgetfs_event& e) {
        switch (e.type) {
            case GADGETFS_CONNECT:
                highSpeed_ = e.u.speed == USB_SPEED_HIGH;
                Log("connected at %s speed", highSpeed_ ? "high" : e.u.speed == USB_SPEED_FULL ? "full" : "other");
                break;
            case GADGETFS_DISCONNECT:
                Log("disconnected");
                streamer_.Stop(false);
                break;
            case GADGETFS_SUSPEND:
                if (gVerbose) Log("suspended");
                break;
            case GADGETFS_SETUP: Setup(e.u.setup); break;
            default: break;
        }
    }

    void Setup(const usb_ctrlrequest& r) {
        gadget::Setup s;
        s.requestType = r.bRequestType;
        s.request = r.bRequest;
        s.value = le16toh(r.wValue);
        s.index = le16toh(r.wIndex);
        s.length = le16toh(r.wLength);
        // gadgetfs finishes an OUT data stage on its own: the data is taken
        // at once, before the next request can come in.
        std::vector<uint8_t> data;
        if (!s.In() && s.length > 0) {
            data.resize(s.length);
            const ssize_t n = read(ep0_, data.data(), data.size());
            if (n < 0) {
                Log("request %02x %02x %04x %04x: data lost (%s)", s.requestType, s.request, s.value, s.index,
                    std::strerror(errno));
                return;
            }
            data.resize(static_cast<size_t>(n));
        }
        const Answer a = function_.Handle(s, data);
        switch (a.effect) {
            case Answer::Effect::Configure: EnableEndpoint(); break;
            case Answer::Effect::Unconfigure:
            case Answer::Effect::StreamStop: streamer_.Stop(false); break;
            case Answer::Effect::StreamStart:
                if (endpoint_ >= 0) {
                    streamer_.Start(function_.Committed(), endpoint_,
                                    highSpeed_ ? kHighSpeedBulkPacket : kFullSpeedBulkPacket);
                }
                break;
            case Answer::Effect::None: break;
        }
        uint8_t none = 0;
        ssize_t rc = 0;
        switch (a.kind) {
            case Answer::Kind::Data: rc = write(ep0_, a.data.data(), a.data.size()); break;
            case Answer::Kind::Ack:
                if (s.length == 0) rc = read(ep0_, &none, 0);  // the status stage
                break;
            case Answer::Kind::Stall:
                // Halting endpoint 0: i/o in the wrong direction. An OUT
                // request with data was already acknowledged by gadgetfs.
                if (s.In()) (void)read(ep0_, &none, 0);
                else if (s.length == 0) (void)write(ep0_, &none, 0);
                break;
        }
        if (rc < 0) Log("request %02x %02x: answer not sent (%s)", s.requestType, s.request, std::strerror(errno));
        if (gVerbose) {
            std::ostringstream bytes;
            const std::vector<uint8_t>& shown = s.In() ? a.data : data;
            for (size_t i = 0; i < shown.size() && i < 16; ++i) {
                char hex[4];
                std::snprintf(hex, sizeof hex, "%02x", shown[i]);
                bytes << hex;
            }
            Log("request %02x %02x %04x %04x %u: %s %s", s.requestType, s.request, s.value, s.index, s.length,
                a.kind == Answer::Kind::Stall ? "stall" : a.kind == Answer::Kind::Data ? "data" : "ack",
                bytes.str().c_str());
        }
    }

    void EnableEndpoint() {
        if (endpoint_ >= 0) return;  // stays enabled across configurations
        std::string name = options_.endpoint;
        if (name.empty()) {
            const auto names = Entries(options_.gadgetDir);
            for (const std::string& n : names) {
                if (n == "ep1in-bulk" || (name.empty() && n.compare(0, 5, "ep1in") == 0)) name = n;
            }
        }
        if (name.empty()) {
            Log("no bulk IN endpoint in %s", options_.gadgetDir.c_str());
            return;
        }
        const std::string path = options_.gadgetDir + "/" + name;
        const int fd = open(path.c_str(), O_RDWR);
        if (fd < 0) {
            Log("%s: %s", path.c_str(), std::strerror(errno));
            return;
        }
        std::vector<uint8_t> d;
        PutU32(d, 1);
        for (uint16_t packet : {kFullSpeedBulkPacket, kHighSpeedBulkPacket}) {
            d.insert(d.end(), {USB_DT_ENDPOINT_SIZE, USB_DT_ENDPOINT, kStreamEndpoint, USB_ENDPOINT_XFER_BULK,
                               static_cast<uint8_t>(packet), static_cast<uint8_t>(packet >> 8), 0});
        }
        if (write(fd, d.data(), d.size()) < 0) {
            Log("%s: not enabled (%s)", path.c_str(), std::strerror(errno));
            close(fd);
            return;
        }
        endpoint_ = fd;
        Log("%s: streaming endpoint", path.c_str());
    }

    const Options& options_;
    UvcFunction& function_;
    Streamer& streamer_;
    int ep0_ = -1;
    int endpoint_ = -1;
    bool highSpeed_ = true;
};

int Main(int argc, char** argv) {
    Options o;
    std::string bad;
    if (!ParseOptions(argc, argv, o, bad)) {
        std::fprintf(stderr, "sv_uvc_gadget: %s\n%s", bad.c_str(), kUsage);
        return 2;
    }
    gVerbose = o.verbose;

    // Signals reach the threads only where they are waited for: quit in
    // ep0's poll, the kick in the streaming thread's writes.
    sigset_t blocked;
    sigemptyset(&blocked);
    sigaddset(&blocked, SIGINT);
    sigaddset(&blocked, SIGTERM);
    sigaddset(&blocked, SIGUSR1);
    pthread_sigmask(SIG_BLOCK, &blocked, nullptr);
    struct sigaction quit{};
    quit.sa_handler = OnQuit;
    sigaction(SIGINT, &quit, nullptr);
    sigaction(SIGTERM, &quit, nullptr);
    struct sigaction kick{};
    kick.sa_handler = OnKick;  // no SA_RESTART: a write returns EINTR
    sigaction(SIGUSR1, &kick, nullptr);

    std::string json, source = "<built-in>";
    if (o.world.empty()) {
        json = sim::DefaultWorldJson();
    } else {
        std::ifstream in(o.world, std::ios::binary);
        if (!in) {
            Log("%s: cannot be read", o.world.c_str());
            return 1;
        }
        std::ostringstream text;
        text << in.rdbuf();
        json = text.str();
        source = o.world;
    }
    SimCamera camera;
    std::string error;
    if (!camera.Open(json, source, o.device, o.simulatedClock, error)) {
        Log("%s", error.c_str());
        return 1;
    }
    UvcFunction function(camera.Description(), camera.Units());
    function.StallControls(o.faults.stalledControls);
    for (const ControlId& c : o.faults.stalledControls) Log("stalling unit %u selector %u", c.unit, c.selector);
    if (function.Layout().formats.empty()) {
        Log("device %s has no format a video class host can take", camera.Description().id.c_str());
        return 1;
    }
    Streamer streamer(camera, o.faults);
    streamer.Begin();
    int status = 1;
    {
        Gadget gadget(o, function, streamer);
        if (gadget.Open()) {
            sigset_t waitMask;
            pthread_sigmask(SIG_BLOCK, nullptr, &waitMask);
            sigdelset(&waitMask, SIGINT);
            sigdelset(&waitMask, SIGTERM);
            gadget.Serve(waitMask);
            status = gQuit ? 0 : 1;
        }
        streamer.End();
    }  // endpoint 0 closed: the host sees the device leave
    Log(gLeft ? "left the bus" : "stopped");
    return status;
}

}  // namespace
}  // namespace sv::gadget

int main(int argc, char** argv) { return sv::gadget::Main(argc, argv); }
