// Simulated Phidget22 library: boards on machines, network servers and client entries, channel
// handles that attach by the vendor's matching rules, and one dispatcher thread that runs every
// handler. See README.md for the model.
#include "phidget22_sim.h"

#ifdef _WIN32
#include <winsock2.h>
#else
#include <sys/socket.h>
#endif

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace {

// Handles are tokens, never pointers to memory: a stale handle is recognised instead of being
// dereferenced, and ids are never reused.
constexpr uintptr_t kHandleBase = 0x7e5100000000u;
constexpr uintptr_t kServerBase = 0x7e5200000000u;
constexpr uintptr_t kTokenStep = 16;
constexpr size_t kLogLimit = 10000;

struct BoardChannel
{
    Phidget_ChannelClass cls;
    int hubPort;
    int channel;
    bool hubPortDevice;
    int state = 0; // digital input level, or the level a digital output drives
    int64_t position = 0;
    std::chrono::steady_clock::time_point lastTurn {};
    bool turned = false;
    uint64_t localOwner = 0; // handle id holding the channel through a local open
};

struct Board
{
    int32_t serial = 0;
    int hubPorts = 0;
    bool plugged = false;
    std::string machine;
    std::vector<BoardChannel> channels; // only grows, so indices stay valid
};

struct Server
{
    std::string name;
    std::string address;
    std::string password;
    int port = 0;
    bool alive = true;
};

struct ClientEntry
{
    std::string name;
    std::string address;
    std::string password;
    int port = 0;
    bool enabled = true;
};

struct Handle
{
    Phidget_ChannelClass cls = PHIDCHCLASS_NOTHING;
    int32_t serial = -1;
    int hubPort = -1;
    int channel = -1;
    int isHubPortDevice = 0;
    int isRemote = -1; // -1: either way
    std::string serverName; // empty: any server
    Phidget_OnAttachCallback onAttach = nullptr;
    void *attachCtx = nullptr;
    Phidget_OnDetachCallback onDetach = nullptr;
    void *detachCtx = nullptr;
    Phidget_OnErrorCallback onError = nullptr;
    void *errorCtx = nullptr;
    PhidgetDigitalInput_OnStateChangeCallback onStateChange = nullptr;
    void *stateChangeCtx = nullptr;
    PhidgetEncoder_OnPositionChangeCallback onPositionChange = nullptr;
    void *positionChangeCtx = nullptr;

    bool open = false;
    bool attached = false;
    bool viaLocal = false;
    int32_t boardSerial = 0;
    size_t channelIndex = 0;
    // openEpoch changes at open and close; epoch also at attach and detach. Queued events carry
    // them, so nothing from an earlier open (or attachment, for data) is delivered.
    uint64_t openEpoch = 0;
    uint64_t epoch = 0;
    int state = 0; // values the channel reports: updated as their events are delivered
    int64_t position = 0;
};

struct Event
{
    enum Type { Attach, Detach, StateChange, PositionChange, Error, AsyncDone };
    explicit Event(Type t)
        : type(t)
    { }
    Type type;
    uint64_t handleId = 0;
    uint64_t epoch = 0; // the handle's epoch, or openEpoch for attach, detach and error events
    uint64_t openEpoch = 0; // completions: the open (or closed) period of the request
    int state = 0;
    int64_t position = 0;
    int positionChange = 0;
    double timeChange = 0;
    Phidget_ErrorEventCode code = EEPHIDGET_OK;
    std::string text;
    Phidget_AsyncCallback asyncFn = nullptr;
    void *asyncCtx = nullptr;
    PhidgetReturnCode asyncResult = EPHIDGET_OK;
    bool asyncWrite = false;
};

const char *const kCallNames[] = {
    "Phidget_open",
    "Phidget_close",
    "Phidget_setDeviceSerialNumber",
    "Phidget_setHubPort",
    "Phidget_setChannel",
    "Phidget_setIsHubPortDevice",
    "Phidget_setIsRemote",
    "Phidget_setServerName",
    "Phidget_setOnAttachHandler",
    "Phidget_setOnDetachHandler",
    "Phidget_setOnErrorHandler",
    "Phidget_getErrorDescription",
    "PhidgetDigitalInput_create",
    "PhidgetDigitalInput_delete",
    "PhidgetDigitalInput_getState",
    "PhidgetDigitalInput_setOnStateChangeHandler",
    "PhidgetDigitalOutput_create",
    "PhidgetDigitalOutput_delete",
    "PhidgetDigitalOutput_setState_async",
    "PhidgetEncoder_create",
    "PhidgetEncoder_delete",
    "PhidgetEncoder_getPosition",
    "PhidgetEncoder_setOnPositionChangeHandler",
    "PhidgetNet_startServer",
    "PhidgetNet_stopServer",
    "PhidgetNet_addServer",
    "PhidgetNet_enableServer",
    "PhidgetNet_disableServer",
};

struct Description
{
    int code;
    const char *text;
};

// The vendor's descriptions of its return codes.
const Description kDescriptions[] = {
    {EPHIDGET_OK, "Success"},
    {EPHIDGET_PERM, "Not Permitted"},
    {EPHIDGET_NOENT, "No Such Entity"},
    {EPHIDGET_TIMEOUT, "Timed Out"},
    {EPHIDGET_KEEPALIVE, "Keep Alive Failure"},
    {EPHIDGET_INTERRUPTED, "Op Interrupted"},
    {EPHIDGET_IO, "IO Issue"},
    {EPHIDGET_NOMEMORY, "Memory Issue"},
    {EPHIDGET_ACCESS, "Access (Permission) Issue"},
    {EPHIDGET_FAULT, "Address Issue"},
    {EPHIDGET_BUSY, "Resource Busy"},
    {EPHIDGET_EXIST, "Object Exists"},
    {EPHIDGET_NOTDIR, "Object is not a directory"},
    {EPHIDGET_ISDIR, "Object is a directory"},
    {EPHIDGET_INVALID, "Invalid"},
    {EPHIDGET_NFILE, "Too many open files in system"},
    {EPHIDGET_MFILE, "Too many open files"},
    {EPHIDGET_NOSPC, "Not enough space"},
    {EPHIDGET_FBIG, "File too Big"},
    {EPHIDGET_ROFS, "Read-only Filesystem"},
    {EPHIDGET_RO, "Read-only Object"},
    {EPHIDGET_UNSUPPORTED, "Operation Not Supported"},
    {EPHIDGET_INVALIDARG, "Invalid Argument"},
    {EPHIDGET_AGAIN, "Try again"},
    {EPHIDGET_NOTEMPTY, "Not Empty"},
    {EPHIDGET_UNEXPECTED, "Unexpected Error"},
    {EPHIDGET_DUPLICATE, "Duplicate"},
    {EPHIDGET_BADPASSWORD, "Bad Credential"},
    {EPHIDGET_NETUNAVAIL, "Network Unavailable"},
    {EPHIDGET_CONNREF, "Connection Refused"},
    {EPHIDGET_CONNRESET, "Connection Reset"},
    {EPHIDGET_HOSTUNREACH, "No route to host"},
    {EPHIDGET_NODEV, "No Such Device"},
    {EPHIDGET_WRONGDEVICE, "Wrong Device"},
    {EPHIDGET_PIPE, "Broken Pipe"},
    {EPHIDGET_RESOLV, "Name Resolution Failure"},
    {EPHIDGET_UNKNOWNVAL, "Unknown or Invalid Value"},
    {EPHIDGET_NOTATTACHED, "Device not Attached"},
    {EPHIDGET_INVALIDPACKET, "Invalid or Unexpected Packet"},
    {EPHIDGET_2BIG, "Argument List Too Long"},
    {EPHIDGET_BADVERSION, "Bad Version"},
    {EPHIDGET_CLOSED, "Closed"},
    {EPHIDGET_NOTCONFIGURED, "Not Configured"},
    {EPHIDGET_EOF, "End of File"},
    {EPHIDGET_FAILSAFE, "Failsafe Triggered"},
    {EPHIDGET_UNKNOWNVALHIGH, "Invalid Value - Too High"},
    {EPHIDGET_UNKNOWNVALLOW, "Invalid Value - Too Low"},
    {EPHIDGET_BADPOWER, "Bad Power Supply"},
    {EPHIDGET_POWERCYCLE, "Power Cycle Required"},
    {EPHIDGET_HALLSENSOR, "Hall Sensor Error"},
    {EPHIDGET_BADCURRENT, "Bad Current"},
    {EPHIDGET_BADCONNECTION, "Bad Connection"},
    {EPHIDGET_NACK, "NACK"},
};

const char *describe(int code)
{
    for (const Description &d : kDescriptions) {
        if (d.code == code)
            return d.text;
    }
    return nullptr;
}

// One call's log line, built from its arguments in order.
class Line
{
public:
    explicit Line(const char *name)
        : m_text(name)
    {
        m_text += '(';
    }
    Line &num(long long v)
    {
        sep();
        m_text += std::to_string(v);
        return *this;
    }
    Line &str(const char *s)
    {
        sep();
        if (!s) {
            m_text += "NULL";
            return *this;
        }
        m_text += '"';
        for (const char *p = s; *p; ++p) {
            const unsigned char c = static_cast<unsigned char>(*p);
            if (c == '"' || c == '\\') {
                m_text += '\\';
                m_text += static_cast<char>(c);
            } else if (c < 0x20 || c == 0x7f) {
                char buf[8];
                std::snprintf(buf, sizeof buf, "\\x%02x", c);
                m_text += buf;
            } else {
                m_text += static_cast<char>(c);
            }
        }
        m_text += '"';
        return *this;
    }
    Line &ptr(uintptr_t v)
    {
        sep();
        m_text += pointerText(v);
        return *this;
    }
    Line &ptr(const void *v) { return ptr(reinterpret_cast<uintptr_t>(v)); }
    template<typename Fn>
    Line &fn(Fn f)
    {
        return ptr(reinterpret_cast<uintptr_t>(f));
    }
    // An output argument: "&" and what was stored, "&?" when nothing was, NULL for no pointer.
    Line &out(bool given, bool written, const std::string &value)
    {
        sep();
        m_text += given ? (written ? "&" + value : std::string("&?")) : std::string("NULL");
        return *this;
    }
    std::string done() const { return m_text + ')'; }

    static std::string pointerText(uintptr_t v)
    {
        if (!v)
            return "NULL";
        char buf[32];
        std::snprintf(buf, sizeof buf, "0x%llx", static_cast<unsigned long long>(v));
        return buf;
    }
    static std::string quoted(const char *s)
    {
        Line l("");
        l.str(s);
        return l.m_text.substr(1);
    }

private:
    void sep()
    {
        if (m_args++)
            m_text += ", ";
    }
    std::string m_text;
    int m_args = 0;
};

class Sim
{
public:
    // Everything below m_mutex is guarded by it; handlers run with it released.
    std::mutex m_mutex;
    std::condition_variable m_workCv; // dispatcher waits for events or the stop request
    std::condition_variable m_idleCv; // callers wait for a callback to end or the queue to drain

    std::map<int32_t, Board> m_boards;
    std::map<uint64_t, Server> m_servers;
    std::vector<ClientEntry> m_clients; // in the order they were added
    std::map<uint64_t, Handle> m_handles;
    std::string m_localMachine;
    std::map<std::string, std::pair<PhidgetReturnCode, int>> m_failures;
    std::deque<std::string> m_log;
    uint64_t m_nextHandleId = 1;
    uint64_t m_nextServerId = 1;

    std::deque<Event> m_queue;
    bool m_inCallback = false;
    uint64_t m_callbackHandle = 0;
    bool m_stopping = false;
    bool m_dispatcherExited = false;
    std::thread m_dispatcher;
    std::thread::id m_dispatcherId;

    // --- helpers, all called with m_mutex held ---

    void log(const Line &line)
    {
        m_log.push_back(line.done());
        if (m_log.size() > kLogLimit)
            m_log.pop_front();
    }

    PhidgetReturnCode injected(const char *name)
    {
        auto it = m_failures.find(name);
        if (it == m_failures.end())
            return EPHIDGET_OK;
        const PhidgetReturnCode code = it->second.first;
        if (it->second.second > 0 && --it->second.second == 0)
            m_failures.erase(it);
        return code;
    }

    static void *token(uintptr_t base, uint64_t id)
    {
        return reinterpret_cast<void *>(base + id * kTokenStep);
    }
    static uint64_t idOf(uintptr_t base, const void *p)
    {
        const uintptr_t v = reinterpret_cast<uintptr_t>(p);
        if (v <= base || (v - base) % kTokenStep)
            return 0;
        return (v - base) / kTokenStep;
    }

    Handle *handle(const void *p, uint64_t *idOut = nullptr)
    {
        const uint64_t id = idOf(kHandleBase, p);
        auto it = m_handles.find(id);
        if (it == m_handles.end())
            return nullptr;
        if (idOut)
            *idOut = id;
        return &it->second;
    }

    // The handle for a call that needs one of class cls (NOTHING: any class).
    PhidgetReturnCode lookup(
        const void *p, Phidget_ChannelClass cls, Handle **h, uint64_t *id = nullptr)
    {
        *h = handle(p, id);
        if (!*h)
            return EPHIDGET_INVALIDARG;
        if (cls != PHIDCHCLASS_NOTHING && (*h)->cls != cls)
            return EPHIDGET_WRONGDEVICE;
        return EPHIDGET_OK;
    }

    // The start of a call on a handle: logged, then refused when a failure is injected for
    // the call or when p is no handle of class cls.
    PhidgetReturnCode enter(const Line &line, const char *name, const void *p,
        Phidget_ChannelClass cls, Handle **h, uint64_t *id = nullptr)
    {
        log(line);
        if (PhidgetReturnCode rc = injected(name))
            return rc;
        return lookup(p, cls, h, id);
    }

    BoardChannel *boardChannel(int32_t serial, Phidget_ChannelClass cls, int hubPort, int channel,
        Board **boardOut = nullptr, size_t *index = nullptr)
    {
        auto b = m_boards.find(serial);
        if (b == m_boards.end())
            return nullptr;
        for (size_t i = 0; i < b->second.channels.size(); ++i) {
            BoardChannel &c = b->second.channels[i];
            if (c.cls == cls && c.hubPort == hubPort && c.channel == channel) {
                if (boardOut)
                    *boardOut = &b->second;
                if (index)
                    *index = i;
                return &c;
            }
        }
        return nullptr;
    }

    void ensureDispatcher()
    {
        // Once stopped at exit it stays stopped: later events are never delivered.
        if (m_stopping || m_dispatcher.joinable())
            return;
        m_dispatcher = std::thread([this] { dispatchLoop(); });
        m_dispatcherId = m_dispatcher.get_id();
    }

    void post(Event &&e)
    {
        ensureDispatcher();
        m_queue.push_back(std::move(e));
        m_workCv.notify_one();
    }

    bool onDispatcher() const { return std::this_thread::get_id() == m_dispatcherId; }

    // Returns once no handler of that handle (0: of any handle) runs, unless the caller is the
    // dispatcher itself, which may be inside that very handler.
    void waitForCallback(std::unique_lock<std::mutex> &lock, uint64_t id)
    {
        if (onDispatcher())
            return;
        m_idleCv.wait(lock, [&] { return !m_inCallback || (id && m_callbackHandle != id); });
    }

    // The machines reachable through the enabled client entries, or only through the entry of
    // that name.
    std::set<std::string> remoteMachines(const std::string &serverName = std::string()) const
    {
        std::set<std::string> machines;
        for (const ClientEntry &c : m_clients) {
            if (!c.enabled || (!serverName.empty() && c.name != serverName))
                continue;
            for (const auto &s : m_servers) {
                if (s.second.alive && s.second.address == c.address && s.second.port == c.port
                    && s.second.password == c.password)
                    machines.insert(s.second.address);
            }
        }
        return machines;
    }

    static bool matches(const Handle &h, const Board &b, const BoardChannel &c)
    {
        return c.cls == h.cls && (h.serial == -1 || h.serial == b.serial)
            && (h.hubPort == -1 || h.hubPort == c.hubPort)
            && (h.channel == -1 || h.channel == c.channel)
            && (h.isHubPortDevice != 0) == c.hubPortDevice;
    }

    void detach(uint64_t id, Handle &h)
    {
        if (!h.attached)
            return;
        if (h.viaLocal) {
            BoardChannel &c = m_boards[h.boardSerial].channels[h.channelIndex];
            if (c.localOwner == id)
                c.localOwner = 0;
        }
        h.attached = false;
        ++h.epoch;
        Event e(Event::Detach);
        e.handleId = id;
        e.epoch = h.openEpoch;
        post(std::move(e));
    }

    void attach(uint64_t id, Handle &h, Board &b, size_t index, bool local)
    {
        BoardChannel &c = b.channels[index];
        if (local)
            c.localOwner = id;
        h.attached = true;
        h.viaLocal = local;
        h.boardSerial = b.serial;
        h.channelIndex = index;
        h.state = c.state;
        h.position = c.position;
        ++h.epoch;
        Event e(Event::Attach);
        e.handleId = id;
        e.epoch = h.openEpoch;
        post(std::move(e));
        // The vendor reports a digital input's level once on attach.
        if (h.cls == PHIDCHCLASS_DIGITALINPUT) {
            Event s(Event::StateChange);
            s.handleId = id;
            s.epoch = h.epoch;
            s.state = c.state;
            post(std::move(s));
        }
    }

    // Brings every open handle's attachment in line with boards, servers and client entries.
    void reconcile()
    {
        const std::set<std::string> remote = remoteMachines();
        std::map<std::string, std::set<std::string>> remoteByName;
        auto reachable = [&](const Handle &h, const Board &b, bool local) {
            if (!b.plugged)
                return false;
            if (local)
                return h.isRemote != 1 && !m_localMachine.empty() && b.machine == m_localMachine;
            if (h.isRemote == 0)
                return false;
            if (h.serverName.empty())
                return remote.count(b.machine) > 0;
            auto named = remoteByName.find(h.serverName);
            if (named == remoteByName.end())
                named = remoteByName.emplace(h.serverName, remoteMachines(h.serverName)).first;
            return named->second.count(b.machine) > 0;
        };
        for (auto &entry : m_handles) {
            Handle &h = entry.second;
            if (h.open && h.attached && !reachable(h, m_boards[h.boardSerial], h.viaLocal))
                detach(entry.first, h);
        }
        for (auto &entry : m_handles) {
            Handle &h = entry.second;
            if (!h.open || h.attached)
                continue;
            bool done = false;
            for (int pass = 0; pass < 2 && !done; ++pass) {
                const bool local = pass == 0;
                for (auto &board : m_boards) {
                    Board &b = board.second;
                    if (done || !reachable(h, b, local))
                        continue;
                    for (size_t i = 0; i < b.channels.size(); ++i) {
                        if (matches(h, b, b.channels[i])
                            && (!local || b.channels[i].localOwner == 0)) {
                            attach(entry.first, h, b, i, local);
                            done = true;
                            break;
                        }
                    }
                }
            }
        }
    }

    void closeHandle(uint64_t id, Handle &h)
    {
        if (!h.open)
            return;
        detach(id, h); // its detach event is dropped below: closing reports nothing
        h.open = false;
        ++h.openEpoch;
        ++h.epoch;
    }

    // --- the dispatcher thread ---

    void dispatchLoop()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        for (;;) {
            m_workCv.wait(lock, [&] { return m_stopping || !m_queue.empty(); });
            if (m_stopping)
                break;
            Event e = std::move(m_queue.front());
            m_queue.pop_front();
            deliver(lock, e);
            if (m_queue.empty())
                m_idleCv.notify_all();
        }
        m_dispatcherExited = true;
        m_idleCv.notify_all();
    }

    void deliver(std::unique_lock<std::mutex> &lock, Event &e)
    {
        auto it = m_handles.find(e.handleId);
        if (it == m_handles.end())
            return;
        Handle &h = it->second;
        PhidgetHandle ch = static_cast<PhidgetHandle>(token(kHandleBase, e.handleId));
        auto call = [&](auto &&fn) {
            m_inCallback = true;
            m_callbackHandle = e.handleId;
            lock.unlock();
            fn();
            lock.lock();
            m_inCallback = false;
            m_callbackHandle = 0;
            m_idleCv.notify_all();
        };
        switch (e.type) {
        case Event::Attach:
        case Event::Detach:
        case Event::Error: {
            if (e.epoch != h.openEpoch || !h.open)
                return;
            if (e.type == Event::Attach && h.onAttach) {
                auto fn = h.onAttach;
                void *ctx = h.attachCtx;
                call([&] { fn(ch, ctx); });
            } else if (e.type == Event::Detach && h.onDetach) {
                auto fn = h.onDetach;
                void *ctx = h.detachCtx;
                call([&] { fn(ch, ctx); });
            } else if (e.type == Event::Error && h.onError) {
                auto fn = h.onError;
                void *ctx = h.errorCtx;
                call([&] { fn(ch, ctx, e.code, e.text.c_str()); });
            }
            return;
        }
        case Event::StateChange: {
            if (e.epoch != h.epoch || !h.attached)
                return;
            h.state = e.state;
            if (auto fn = h.onStateChange) {
                void *ctx = h.stateChangeCtx;
                call([&] { fn(reinterpret_cast<PhidgetDigitalInputHandle>(ch), ctx, e.state); });
            }
            return;
        }
        case Event::PositionChange: {
            if (e.epoch != h.epoch || !h.attached)
                return;
            h.position = e.position;
            if (auto fn = h.onPositionChange) {
                void *ctx = h.positionChangeCtx;
                call([&] {
                    fn(reinterpret_cast<PhidgetEncoderHandle>(ch), ctx, e.positionChange,
                        e.timeChange, 0);
                });
            }
            return;
        }
        case Event::AsyncDone: {
            // e.epoch is the attachment the request was made on; the write happens only while
            // it lasts.
            PhidgetReturnCode result = e.asyncResult;
            if (e.asyncWrite) {
                if (h.attached && h.epoch == e.epoch) {
                    m_boards[h.boardSerial].channels[h.channelIndex].state = e.state;
                    result = EPHIDGET_OK;
                } else {
                    result = EPHIDGET_NOTATTACHED;
                }
            }
            if (e.asyncFn && e.openEpoch == h.openEpoch) {
                auto fn = e.asyncFn;
                void *ctx = e.asyncCtx;
                call([&] { fn(ch, ctx, result); });
            }
            return;
        }
        }
    }

    void stop()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        if (!m_dispatcher.joinable())
            return;
        m_stopping = true;
        m_workCv.notify_all();
        if (onDispatcher()) { // exit() from inside a handler
            m_dispatcher.detach();
            return;
        }
        // A handler that never returns must not hang the process's exit: give up after a while
        // and leave the thread (and this never-freed object) behind.
        const bool exited
            = m_idleCv.wait_for(lock, std::chrono::seconds(2), [&] { return m_dispatcherExited; });
        lock.unlock();
        if (exited)
            m_dispatcher.join();
        else
            m_dispatcher.detach();
    }
};

// Never destroyed: a dispatcher left behind at exit may still touch it.
Sim &sim()
{
    static Sim *s = new Sim;
    return *s;
}

// The dispatcher is stopped at process exit. Not on Windows: the DLL is pinned, so its
// destructors run only at process exit, after the system has ended every other thread; waiting
// for the dispatcher would only cost the time-out, and a lock it held when it was ended would
// never be released.
#ifndef _WIN32
struct Shutdown
{
    ~Shutdown() { sim().stop(); }
} s_shutdown;
#endif

using Lock = std::unique_lock<std::mutex>;

std::string handleText(const void *p)
{
    return Line::pointerText(reinterpret_cast<uintptr_t>(p));
}

// Shared body of the property setters on a closed handle.
PhidgetReturnCode setProperty(
    const char *name, PhidgetHandle ch, int value, bool (*valid)(int), int Handle::*member)
{
    Sim &s = sim();
    Lock lock(s.m_mutex);
    Handle *h;
    if (PhidgetReturnCode rc
        = s.enter(Line(name).ptr(ch).num(value), name, ch, PHIDCHCLASS_NOTHING, &h))
        return rc;
    if (!valid(value))
        return EPHIDGET_INVALIDARG;
    if (h->open)
        return EPHIDGET_BUSY; // addressing is fixed while the channel is open
    h->*member = value;
    return EPHIDGET_OK;
}

template<typename Fn>
PhidgetReturnCode setHandler(const char *name, const void *ch, Phidget_ChannelClass cls, Fn fptr,
    void *ctx, Fn Handle::*fnMember, void *Handle::*ctxMember)
{
    Sim &s = sim();
    Lock lock(s.m_mutex);
    Handle *h;
    if (PhidgetReturnCode rc = s.enter(Line(name).ptr(ch).fn(fptr).ptr(ctx), name, ch, cls, &h))
        return rc;
    h->*fnMember = fptr;
    h->*ctxMember = ctx;
    return EPHIDGET_OK;
}

template<typename H>
PhidgetReturnCode createHandle(const char *name, H *out, Phidget_ChannelClass cls)
{
    Sim &s = sim();
    Lock lock(s.m_mutex);
    PhidgetReturnCode rc = s.injected(name);
    if (!rc && !out)
        rc = EPHIDGET_INVALIDARG;
    if (rc) {
        s.log(Line(name).out(out != nullptr, false, ""));
        return rc;
    }
    const uint64_t id = s.m_nextHandleId++;
    s.m_handles[id].cls = cls;
    *out = static_cast<H>(Sim::token(kHandleBase, id));
    s.log(Line(name).out(true, true, handleText(*out)));
    return EPHIDGET_OK;
}

template<typename H>
PhidgetReturnCode deleteHandle(const char *name, H *ch, Phidget_ChannelClass cls)
{
    Sim &s = sim();
    Lock lock(s.m_mutex);
    s.log(Line(name).out(ch != nullptr, true, ch ? handleText(*ch) : ""));
    if (PhidgetReturnCode rc = s.injected(name))
        return rc;
    if (!ch)
        return EPHIDGET_INVALIDARG;
    Handle *h;
    uint64_t id = 0;
    if (PhidgetReturnCode rc = s.lookup(*ch, cls, &h, &id))
        return rc;
    const bool wasOpen = h->open;
    s.closeHandle(id, *h);
    s.m_handles.erase(id);
    if (wasOpen)
        s.reconcile();
    s.waitForCallback(lock, id);
    *ch = nullptr;
    return EPHIDGET_OK;
}

// Shared body of the getters: the value that an attached channel of class cls last reported.
template<typename T>
PhidgetReturnCode getValue(
    const char *name, const void *ch, Phidget_ChannelClass cls, T *out, T Handle::*member)
{
    Sim &s = sim();
    Lock lock(s.m_mutex);
    Handle *h = nullptr;
    PhidgetReturnCode rc = s.injected(name);
    if (!rc)
        rc = s.lookup(ch, cls, &h);
    if (!rc && !out)
        rc = EPHIDGET_INVALIDARG;
    if (!rc && !h->attached)
        rc = EPHIDGET_NOTATTACHED;
    if (!rc)
        *out = h->*member;
    s.log(Line(name).ptr(ch).out(out != nullptr, !rc, rc ? "" : std::to_string(h->*member)));
    return rc;
}

bool validAddress(const char *a)
{
    return a && *a;
}
bool validPort(int p)
{
    return p > 0 && p <= 65535;
}

// Channel lookup for the control calls.
BoardChannel *controlChannel(Sim &s, int32_t serial, Phidget_ChannelClass cls, int hubPort,
    int channel, Board **board = nullptr, size_t *index = nullptr)
{
    return s.boardChannel(serial, cls, hubPort, channel, board, index);
}

// Shared body of the control getters: what a board's channel holds, attached or not.
template<typename T>
int controlValue(int32_t serial, Phidget_ChannelClass cls, int hubPort, int channel, T *out,
    T BoardChannel::*member)
{
    Sim &s = sim();
    Lock lock(s.m_mutex);
    BoardChannel *c = controlChannel(s, serial, cls, hubPort, channel);
    if (!c)
        return EPHIDGET_NOENT;
    if (!out)
        return EPHIDGET_INVALIDARG;
    *out = c->*member;
    return EPHIDGET_OK;
}

template<typename Fn>
void forAttached(Sim &s, int32_t serial, size_t index, Fn fn)
{
    for (auto &entry : s.m_handles) {
        Handle &h = entry.second;
        if (h.attached && h.boardSerial == serial && h.channelIndex == index)
            fn(entry.first, h);
    }
}

PhidgetReturnCode enableClient(const char *name, const char *serverName, bool enabled, Line line)
{
    Sim &s = sim();
    Lock lock(s.m_mutex);
    s.log(line);
    if (PhidgetReturnCode rc = s.injected(name))
        return rc;
    if (!serverName)
        return EPHIDGET_INVALIDARG;
    for (ClientEntry &c : s.m_clients) {
        if (c.name == serverName) {
            c.enabled = enabled;
            s.reconcile();
            return EPHIDGET_OK;
        }
    }
    return EPHIDGET_NOENT;
}

} // namespace

extern "C" {

// --- channel life and addressing ---

PhidgetReturnCode Phidget_open(PhidgetHandle ch)
{
    Sim &s = sim();
    Lock lock(s.m_mutex);
    Handle *h;
    uint64_t id = 0;
    if (PhidgetReturnCode rc
        = s.enter(Line("Phidget_open").ptr(ch), "Phidget_open", ch, PHIDCHCLASS_NOTHING, &h, &id))
        return rc;
    if (h->open)
        return EPHIDGET_OK;
    h->open = true;
    ++h->openEpoch;
    ++h->epoch;
    s.reconcile();
    return EPHIDGET_OK;
}

PhidgetReturnCode Phidget_close(PhidgetHandle ch)
{
    Sim &s = sim();
    Lock lock(s.m_mutex);
    Handle *h;
    uint64_t id = 0;
    if (PhidgetReturnCode rc
        = s.enter(Line("Phidget_close").ptr(ch), "Phidget_close", ch, PHIDCHCLASS_NOTHING, &h, &id))
        return rc;
    if (h->open) {
        s.closeHandle(id, *h);
        s.reconcile(); // a local channel it held may now go to another handle
    }
    // Also when a handler closed it already: that handler may still be running.
    s.waitForCallback(lock, id);
    return EPHIDGET_OK;
}

PhidgetReturnCode Phidget_setDeviceSerialNumber(PhidgetHandle ch, int32_t deviceSerialNumber)
{
    return setProperty(
        "Phidget_setDeviceSerialNumber", ch, deviceSerialNumber, [](int v) { return v >= -1; },
        &Handle::serial);
}

PhidgetReturnCode Phidget_setHubPort(PhidgetHandle ch, int hubPort)
{
    return setProperty(
        "Phidget_setHubPort", ch, hubPort, [](int v) { return v >= -1 && v < 16; },
        &Handle::hubPort);
}

PhidgetReturnCode Phidget_setChannel(PhidgetHandle ch, int channel)
{
    return setProperty(
        "Phidget_setChannel", ch, channel, [](int v) { return v >= -1; }, &Handle::channel);
}

PhidgetReturnCode Phidget_setIsHubPortDevice(PhidgetHandle ch, int isHubPortDevice)
{
    return setProperty(
        "Phidget_setIsHubPortDevice", ch, isHubPortDevice, [](int v) { return v == 0 || v == 1; },
        &Handle::isHubPortDevice);
}

PhidgetReturnCode Phidget_setIsRemote(PhidgetHandle ch, int isRemote)
{
    return setProperty(
        "Phidget_setIsRemote", ch, isRemote, [](int v) { return v == 0 || v == 1; },
        &Handle::isRemote);
}

PhidgetReturnCode Phidget_setServerName(PhidgetHandle ch, const char *serverName)
{
    Sim &s = sim();
    Lock lock(s.m_mutex);
    Handle *h;
    if (PhidgetReturnCode rc = s.enter(Line("Phidget_setServerName").ptr(ch).str(serverName),
            "Phidget_setServerName", ch, PHIDCHCLASS_NOTHING, &h))
        return rc;
    if (h->open)
        return EPHIDGET_BUSY;
    h->serverName = serverName ? serverName : "";
    return EPHIDGET_OK;
}

PhidgetReturnCode Phidget_setOnAttachHandler(
    PhidgetHandle ch, Phidget_OnAttachCallback fptr, void *ctx)
{
    return setHandler("Phidget_setOnAttachHandler", ch, PHIDCHCLASS_NOTHING, fptr, ctx,
        &Handle::onAttach, &Handle::attachCtx);
}

PhidgetReturnCode Phidget_setOnDetachHandler(
    PhidgetHandle ch, Phidget_OnDetachCallback fptr, void *ctx)
{
    return setHandler("Phidget_setOnDetachHandler", ch, PHIDCHCLASS_NOTHING, fptr, ctx,
        &Handle::onDetach, &Handle::detachCtx);
}

PhidgetReturnCode Phidget_setOnErrorHandler(
    PhidgetHandle ch, Phidget_OnErrorCallback fptr, void *ctx)
{
    return setHandler("Phidget_setOnErrorHandler", ch, PHIDCHCLASS_NOTHING, fptr, ctx,
        &Handle::onError, &Handle::errorCtx);
}

PhidgetReturnCode Phidget_getErrorDescription(PhidgetReturnCode errorCode, const char **errorString)
{
    Sim &s = sim();
    Lock lock(s.m_mutex);
    const char *text = describe(errorCode);
    PhidgetReturnCode rc = s.injected("Phidget_getErrorDescription");
    if (!rc && (!errorString || !text))
        rc = EPHIDGET_INVALIDARG;
    if (!rc)
        *errorString = text;
    s.log(Line("Phidget_getErrorDescription")
              .num(errorCode)
              .out(errorString != nullptr, !rc, rc ? "" : Line::quoted(text)));
    return rc;
}

// --- digital input ---

PhidgetReturnCode PhidgetDigitalInput_create(PhidgetDigitalInputHandle *ch)
{
    return createHandle("PhidgetDigitalInput_create", ch, PHIDCHCLASS_DIGITALINPUT);
}

PhidgetReturnCode PhidgetDigitalInput_delete(PhidgetDigitalInputHandle *ch)
{
    return deleteHandle("PhidgetDigitalInput_delete", ch, PHIDCHCLASS_DIGITALINPUT);
}

PhidgetReturnCode PhidgetDigitalInput_getState(PhidgetDigitalInputHandle ch, int *state)
{
    return getValue(
        "PhidgetDigitalInput_getState", ch, PHIDCHCLASS_DIGITALINPUT, state, &Handle::state);
}

PhidgetReturnCode PhidgetDigitalInput_setOnStateChangeHandler(
    PhidgetDigitalInputHandle ch, PhidgetDigitalInput_OnStateChangeCallback fptr, void *ctx)
{
    return setHandler("PhidgetDigitalInput_setOnStateChangeHandler", ch, PHIDCHCLASS_DIGITALINPUT,
        fptr, ctx, &Handle::onStateChange, &Handle::stateChangeCtx);
}

// --- digital output ---

PhidgetReturnCode PhidgetDigitalOutput_create(PhidgetDigitalOutputHandle *ch)
{
    return createHandle("PhidgetDigitalOutput_create", ch, PHIDCHCLASS_DIGITALOUTPUT);
}

PhidgetReturnCode PhidgetDigitalOutput_delete(PhidgetDigitalOutputHandle *ch)
{
    return deleteHandle("PhidgetDigitalOutput_delete", ch, PHIDCHCLASS_DIGITALOUTPUT);
}

void PhidgetDigitalOutput_setState_async(
    PhidgetDigitalOutputHandle ch, int state, Phidget_AsyncCallback fptr, void *ctx)
{
    Sim &s = sim();
    Lock lock(s.m_mutex);
    s.log(Line("PhidgetDigitalOutput_setState_async").ptr(ch).num(state).fn(fptr).ptr(ctx));
    Handle *h;
    uint64_t id = 0;
    // A handle that is not live has nobody to report to.
    if (s.lookup(ch, PHIDCHCLASS_NOTHING, &h, &id) == EPHIDGET_INVALIDARG)
        return;
    Event e(Event::AsyncDone);
    e.handleId = id;
    e.asyncFn = fptr;
    e.asyncCtx = ctx;
    e.openEpoch = h->openEpoch; // a close in between drops the completion
    e.asyncResult = s.injected("PhidgetDigitalOutput_setState_async");
    if (!e.asyncResult && h->cls != PHIDCHCLASS_DIGITALOUTPUT)
        e.asyncResult = EPHIDGET_WRONGDEVICE;
    if (!e.asyncResult && state != 0 && state != 1)
        e.asyncResult = EPHIDGET_INVALIDARG;
    if (!e.asyncResult) {
        e.asyncWrite = true;
        e.state = state;
        e.epoch = h->attached ? h->epoch : 0;
    }
    s.post(std::move(e));
}

// --- encoder ---

PhidgetReturnCode PhidgetEncoder_create(PhidgetEncoderHandle *ch)
{
    return createHandle("PhidgetEncoder_create", ch, PHIDCHCLASS_ENCODER);
}

PhidgetReturnCode PhidgetEncoder_delete(PhidgetEncoderHandle *ch)
{
    return deleteHandle("PhidgetEncoder_delete", ch, PHIDCHCLASS_ENCODER);
}

PhidgetReturnCode PhidgetEncoder_getPosition(PhidgetEncoderHandle ch, int64_t *position)
{
    return getValue(
        "PhidgetEncoder_getPosition", ch, PHIDCHCLASS_ENCODER, position, &Handle::position);
}

PhidgetReturnCode PhidgetEncoder_setOnPositionChangeHandler(
    PhidgetEncoderHandle ch, PhidgetEncoder_OnPositionChangeCallback fptr, void *ctx)
{
    return setHandler("PhidgetEncoder_setOnPositionChangeHandler", ch, PHIDCHCLASS_ENCODER, fptr,
        ctx, &Handle::onPositionChange, &Handle::positionChangeCtx);
}

// --- network servers ---

PhidgetReturnCode PhidgetNet_startServer(int flags, int addressFamily, const char *serverName,
    const char *address, int port, const char *password, PhidgetServerHandle *server)
{
    Sim &s = sim();
    Lock lock(s.m_mutex);
    Line line("PhidgetNet_startServer");
    line.num(flags).num(addressFamily).str(serverName).str(address).num(port).str(password);
    PhidgetReturnCode rc = s.injected("PhidgetNet_startServer");
    if (!rc && (!server || !validAddress(serverName) || !validAddress(address) || !validPort(port)))
        rc = EPHIDGET_INVALIDARG;
    // A server listens on one address family, which must be the address's own.
    if (!rc && addressFamily != (std::strchr(address, ':') ? AF_INET6 : AF_INET))
        rc = EPHIDGET_INVALIDARG;
    if (!rc) {
        for (const auto &other : s.m_servers) {
            if (other.second.address == address && other.second.port == port)
                rc = EPHIDGET_BUSY; // the address and port are taken
        }
    }
    if (rc) {
        s.log(line.out(server != nullptr, false, ""));
        return rc;
    }
    const uint64_t id = s.m_nextServerId++;
    Server &srv = s.m_servers[id];
    srv.name = serverName;
    srv.address = address;
    srv.port = port;
    srv.password = password ? password : "";
    *server = static_cast<PhidgetServerHandle>(Sim::token(kServerBase, id));
    s.log(line.out(true, true, handleText(*server)));
    s.reconcile();
    return EPHIDGET_OK;
}

PhidgetReturnCode PhidgetNet_stopServer(PhidgetServerHandle *server)
{
    Sim &s = sim();
    Lock lock(s.m_mutex);
    s.log(Line("PhidgetNet_stopServer")
              .out(server != nullptr, true, server ? handleText(*server) : ""));
    if (PhidgetReturnCode rc = s.injected("PhidgetNet_stopServer"))
        return rc;
    if (!server)
        return EPHIDGET_INVALIDARG;
    auto it = s.m_servers.find(Sim::idOf(kServerBase, *server));
    if (it == s.m_servers.end())
        return EPHIDGET_INVALIDARG;
    s.m_servers.erase(it);
    *server = nullptr;
    s.reconcile();
    return EPHIDGET_OK;
}

PhidgetReturnCode PhidgetNet_addServer(
    const char *serverName, const char *address, int port, const char *password, int flags)
{
    Sim &s = sim();
    Lock lock(s.m_mutex);
    s.log(Line("PhidgetNet_addServer")
              .str(serverName)
              .str(address)
              .num(port)
              .str(password)
              .num(flags));
    if (PhidgetReturnCode rc = s.injected("PhidgetNet_addServer"))
        return rc;
    if (!validAddress(serverName) || !validAddress(address) || !validPort(port))
        return EPHIDGET_INVALIDARG;
    for (const ClientEntry &c : s.m_clients) {
        if (c.name == serverName)
            return EPHIDGET_DUPLICATE;
    }
    s.m_clients.push_back({serverName, address, password ? password : "", port, true});
    s.reconcile();
    return EPHIDGET_OK;
}

PhidgetReturnCode PhidgetNet_enableServer(const char *serverName)
{
    return enableClient("PhidgetNet_enableServer", serverName, true,
        Line("PhidgetNet_enableServer").str(serverName));
}

PhidgetReturnCode PhidgetNet_disableServer(const char *serverName, int flags)
{
    return enableClient("PhidgetNet_disableServer", serverName, false,
        Line("PhidgetNet_disableServer").str(serverName).num(flags));
}

// --- simulation control ---

int lmsim_phidget_board_create(int32_t serial, int hubPortCount)
{
    Sim &s = sim();
    Lock lock(s.m_mutex);
    if (serial < 0 || hubPortCount < 0 || hubPortCount > 16)
        return EPHIDGET_INVALIDARG;
    if (s.m_boards.count(serial))
        return EPHIDGET_DUPLICATE;
    Board &b = s.m_boards[serial];
    b.serial = serial;
    b.hubPorts = hubPortCount;
    return EPHIDGET_OK;
}

int lmsim_phidget_board_add_channels(
    int32_t serial, Phidget_ChannelClass channelClass, int hubPort, int count, int isHubPortDevice)
{
    Sim &s = sim();
    Lock lock(s.m_mutex);
    auto it = s.m_boards.find(serial);
    if (it == s.m_boards.end())
        return EPHIDGET_NOENT;
    Board &b = it->second;
    const bool classOk = channelClass == PHIDCHCLASS_DIGITALINPUT
        || channelClass == PHIDCHCLASS_DIGITALOUTPUT || channelClass == PHIDCHCLASS_ENCODER;
    const bool portOk = b.hubPorts == 0 ? hubPort == -1 : hubPort >= 0 && hubPort < b.hubPorts;
    // A hub port in digital mode is one input or output channel, number 0.
    const bool modeOk = isHubPortDevice == 0
        || (isHubPortDevice == 1 && b.hubPorts > 0 && count == 1
            && channelClass != PHIDCHCLASS_ENCODER);
    if (!classOk || !portOk || !modeOk || count < 1 || count > 64)
        return EPHIDGET_INVALIDARG;
    for (int i = 0; i < count; ++i) {
        if (s.boardChannel(serial, channelClass, hubPort, i))
            return EPHIDGET_DUPLICATE;
    }
    for (int i = 0; i < count; ++i) {
        BoardChannel c;
        c.cls = channelClass;
        c.hubPort = hubPort;
        c.channel = i;
        c.hubPortDevice = isHubPortDevice == 1;
        b.channels.push_back(c);
    }
    s.reconcile();
    return EPHIDGET_OK;
}

int lmsim_phidget_board_attach(int32_t serial, const char *machine)
{
    Sim &s = sim();
    Lock lock(s.m_mutex);
    if (!validAddress(machine))
        return EPHIDGET_INVALIDARG;
    auto it = s.m_boards.find(serial);
    if (it == s.m_boards.end())
        return EPHIDGET_NOENT;
    if (it->second.plugged)
        return EPHIDGET_BUSY;
    it->second.plugged = true;
    it->second.machine = machine;
    s.reconcile();
    return EPHIDGET_OK;
}

int lmsim_phidget_board_remove(int32_t serial)
{
    Sim &s = sim();
    Lock lock(s.m_mutex);
    auto it = s.m_boards.find(serial);
    if (it == s.m_boards.end())
        return EPHIDGET_NOENT;
    if (!it->second.plugged)
        return EPHIDGET_NOTATTACHED;
    it->second.plugged = false;
    it->second.machine.clear();
    s.reconcile();
    return EPHIDGET_OK;
}

int lmsim_phidget_set_local_machine(const char *machine)
{
    Sim &s = sim();
    Lock lock(s.m_mutex);
    s.m_localMachine = machine ? machine : "";
    s.reconcile();
    return EPHIDGET_OK;
}

int lmsim_phidget_set_digital_input(int32_t serial, int hubPort, int channel, int state)
{
    Sim &s = sim();
    Lock lock(s.m_mutex);
    if (state != 0 && state != 1)
        return EPHIDGET_INVALIDARG;
    size_t index = 0;
    BoardChannel *c
        = controlChannel(s, serial, PHIDCHCLASS_DIGITALINPUT, hubPort, channel, nullptr, &index);
    if (!c)
        return EPHIDGET_NOENT;
    if (c->state == state)
        return EPHIDGET_OK; // inputs report changes only
    c->state = state;
    forAttached(s, serial, index, [&](uint64_t id, Handle &h) {
        Event e(Event::StateChange);
        e.handleId = id;
        e.epoch = h.epoch;
        e.state = state;
        s.post(std::move(e));
    });
    return EPHIDGET_OK;
}

int lmsim_phidget_turn_encoder(int32_t serial, int hubPort, int channel, int positionChange)
{
    Sim &s = sim();
    Lock lock(s.m_mutex);
    if (positionChange == 0)
        return EPHIDGET_INVALIDARG;
    size_t index = 0;
    BoardChannel *c
        = controlChannel(s, serial, PHIDCHCLASS_ENCODER, hubPort, channel, nullptr, &index);
    if (!c)
        return EPHIDGET_NOENT;
    const auto now = std::chrono::steady_clock::now();
    const double ms
        = c->turned ? std::chrono::duration<double, std::milli>(now - c->lastTurn).count() : 0.0;
    c->turned = true;
    c->lastTurn = now;
    c->position += positionChange;
    forAttached(s, serial, index, [&](uint64_t id, Handle &h) {
        Event e(Event::PositionChange);
        e.handleId = id;
        e.epoch = h.epoch;
        e.position = c->position;
        e.positionChange = positionChange;
        e.timeChange = ms;
        s.post(std::move(e));
    });
    return EPHIDGET_OK;
}

int lmsim_phidget_get_encoder_position(int32_t serial, int hubPort, int channel, int64_t *position)
{
    return controlValue(
        serial, PHIDCHCLASS_ENCODER, hubPort, channel, position, &BoardChannel::position);
}

int lmsim_phidget_get_digital_output(int32_t serial, int hubPort, int channel, int *state)
{
    return controlValue(
        serial, PHIDCHCLASS_DIGITALOUTPUT, hubPort, channel, state, &BoardChannel::state);
}

int lmsim_phidget_raise_error(int32_t serial, Phidget_ChannelClass channelClass, int hubPort,
    int channel, Phidget_ErrorEventCode code, const char *description)
{
    Sim &s = sim();
    Lock lock(s.m_mutex);
    size_t index = 0;
    if (!controlChannel(s, serial, channelClass, hubPort, channel, nullptr, &index))
        return EPHIDGET_NOENT;
    forAttached(s, serial, index, [&](uint64_t id, Handle &h) {
        Event e(Event::Error);
        e.handleId = id;
        e.epoch = h.openEpoch;
        e.code = code;
        e.text = description ? description : "";
        s.post(std::move(e));
    });
    return EPHIDGET_OK;
}

int lmsim_phidget_set_server_alive(const char *address, int port, int alive)
{
    Sim &s = sim();
    Lock lock(s.m_mutex);
    if (!address)
        return EPHIDGET_INVALIDARG;
    for (auto &srv : s.m_servers) {
        if (srv.second.address == address && srv.second.port == port) {
            srv.second.alive = alive != 0;
            s.reconcile();
            return EPHIDGET_OK;
        }
    }
    return EPHIDGET_NOENT;
}

int lmsim_phidget_fail_call(const char *callName, PhidgetReturnCode code, int count)
{
    Sim &s = sim();
    Lock lock(s.m_mutex);
    bool known = false;
    for (const char *name : kCallNames)
        known = known || (callName && std::strcmp(name, callName) == 0);
    if (!known || count < LMSIM_PHIDGET_FAIL_ALWAYS || (count != 0 && code == EPHIDGET_OK))
        return EPHIDGET_INVALIDARG;
    if (count == 0)
        s.m_failures.erase(callName);
    else
        s.m_failures[callName] = {code, count};
    return EPHIDGET_OK;
}

int lmsim_phidget_log_text(char *buffer, int size)
{
    Sim &s = sim();
    Lock lock(s.m_mutex);
    std::string text;
    for (const std::string &line : s.m_log)
        text += line + '\n';
    if (buffer && size > 0) {
        const size_t n = std::min(text.size(), static_cast<size_t>(size) - 1);
        std::memcpy(buffer, text.data(), n);
        buffer[n] = '\0';
    }
    return static_cast<int>(text.size());
}

int lmsim_phidget_log_clear(void)
{
    Sim &s = sim();
    Lock lock(s.m_mutex);
    s.m_log.clear();
    return EPHIDGET_OK;
}

int lmsim_phidget_reset(void)
{
    Sim &s = sim();
    Lock lock(s.m_mutex);
    s.m_handles.clear();
    s.m_queue.clear();
    s.m_boards.clear();
    s.m_servers.clear();
    s.m_clients.clear();
    s.m_failures.clear();
    s.m_log.clear();
    s.m_localMachine.clear();
    s.waitForCallback(lock, 0);
    return EPHIDGET_OK;
}

int lmsim_phidget_wait_idle(int timeoutMs)
{
    Sim &s = sim();
    Lock lock(s.m_mutex);
    if (s.onDispatcher())
        return EPHIDGET_BUSY;
    if (s.m_stopping)
        return EPHIDGET_CLOSED; // the process is exiting
    const bool idle = s.m_idleCv.wait_for(lock, std::chrono::milliseconds(std::max(timeoutMs, 0)),
        [&] { return s.m_queue.empty() && !s.m_inCallback; });
    return idle ? EPHIDGET_OK : EPHIDGET_TIMEOUT;
}

int lmsim_phidget_is_attached(PhidgetHandle ch)
{
    Sim &s = sim();
    Lock lock(s.m_mutex);
    const Handle *h = s.handle(ch);
    return h ? (h->attached ? 1 : 0) : -1;
}

int lmsim_phidget_live_handles(void)
{
    Sim &s = sim();
    Lock lock(s.m_mutex);
    return static_cast<int>(s.m_handles.size());
}

} // extern "C"
