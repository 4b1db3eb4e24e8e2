#pragma once
// Events of the forms stand-in: synchronous multicast delegates. Handlers run in subscription order
// on the calling thread, each with the sender and the event's arguments. A handler is detached by
// its token, and a scoped guard suppresses one handler or the whole event for a while (changes made
// by code "with the handler detached"). Handlers may add or remove handlers of the same event while
// it is raised: the raise runs the handlers attached when it started, skipping any removed since.
// UI thread only.

#include <cstdint>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

namespace forms
{

class Control;

// The answer of a dialog or message box (the Win32 IDOK... values).
enum class DialogResult
{
    None = 0,
    OK = 1,
    Cancel = 2,
    Abort = 3,
    Retry = 4,
    Ignore = 5,
    Yes = 6,
    No = 7,
};

enum class MouseButtons : std::uint32_t
{
    None = 0,
    Left = 0x00100000,
    Right = 0x00200000,
    Middle = 0x00400000,
    XButton1 = 0x00800000,
    XButton2 = 0x01000000,
};

constexpr MouseButtons operator|(MouseButtons a, MouseButtons b)
{
    return MouseButtons(std::uint32_t(a) | std::uint32_t(b));
}
constexpr bool HasFlag(MouseButtons value, MouseButtons flag)
{
    return (std::uint32_t(value) & std::uint32_t(flag)) == std::uint32_t(flag);
}

struct EventArgs
{
};

struct MouseEventArgs
{
    MouseButtons Button = MouseButtons::None;
    int Clicks = 0;
    int X = 0;
    int Y = 0;
    int Delta = 0; // wheel: multiples of 120, positive away from the user
};

enum class CloseReason
{
    None,
    WindowsShutDown,
    MdiFormClosing,
    UserClosing,
    TaskManagerClosing,
    FormOwnerClosing,
    ApplicationExitCall,
};

struct FormClosingEventArgs
{
    CloseReason Reason = CloseReason::None;
    bool Cancel = false; // a handler sets it to keep the form open
};

struct FormClosedEventArgs
{
    CloseReason Reason = CloseReason::None;
};

class Graphics;
struct PaintEventArgs
{
    Graphics* pGraphics = nullptr; // records into the painted control's surface; valid in the handler
};

// A handler's identity for Remove and for suppression; 0 is never issued.
using EventToken = std::uint64_t;

template <class TArgs>
class Event
{
public:
    using Handler = std::function<void(Control& sender, TArgs& e)>;

    Event() = default;
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;

    EventToken Add(Handler handler)
    {
        const EventToken token = ++m_uiLastToken;
        m_pHandlers->push_back({token, std::make_shared<Handler>(std::move(handler)), 0});
        return token;
    }

    bool Remove(EventToken token) // false when no such handler is attached
    {
        for (auto it = m_pHandlers->begin(); it != m_pHandlers->end(); ++it)
        {
            if (it->token != token)
                continue;
            m_pHandlers->erase(it);
            return true;
        }
        return false;
    }

    void Clear() { m_pHandlers->clear(); }
    std::size_t GetHandlerCount() const { return m_pHandlers->size(); }

    // Runs every attached, unsuppressed handler in subscription order.
    void Raise(Control& sender, TArgs& e)
    {
        if (m_iSuppressAll > 0)
            return;
        // The entries are copied so that handlers may change the list; the shared list pointer is
        // held so that a handler destroying the event's owner leaves this loop valid memory.
        std::shared_ptr<std::vector<Entry>> pList = m_pHandlers;
        const std::vector<Entry> snapshot = *pList;
        for (const Entry& entry : snapshot)
        {
            const Entry* pCurrent = Find(*pList, entry.token);
            if (pCurrent == nullptr || pCurrent->suppressed > 0)
                continue;
            std::shared_ptr<Handler> pHandler = entry.pHandler;
            (*pHandler)(sender, e);
            if (pList.use_count() == 1)
                return; // the event itself is gone
        }
    }

    void Raise(Control& sender)
    {
        TArgs e{};
        Raise(sender, e);
    }

    // While it lives, the handler (or, without a token, every handler) does not run.
    class Suppression
    {
    public:
        Suppression(Event& event, EventToken token) : m_pEvent(&event), m_uiToken(token)
        {
            m_pEvent->Suppress(m_uiToken, 1);
        }
        explicit Suppression(Event& event) : m_pEvent(&event) { m_pEvent->Suppress(0, 1); }
        ~Suppression() { m_pEvent->Suppress(m_uiToken, -1); }
        Suppression(const Suppression&) = delete;
        Suppression& operator=(const Suppression&) = delete;

    private:
        Event* m_pEvent; // not owned, outlives the guard
        EventToken m_uiToken = 0;
    };

private:
    struct Entry
    {
        EventToken token;
        std::shared_ptr<Handler> pHandler;
        int suppressed;
    };

    static const Entry* Find(const std::vector<Entry>& list, EventToken token)
    {
        for (const Entry& entry : list)
            if (entry.token == token)
                return &entry;
        return nullptr;
    }

    void Suppress(EventToken token, int delta)
    {
        if (token == 0)
        {
            m_iSuppressAll += delta;
            return;
        }
        for (Entry& entry : *m_pHandlers)
            if (entry.token == token)
                entry.suppressed += delta;
    }

    std::shared_ptr<std::vector<Entry>> m_pHandlers = std::make_shared<std::vector<Entry>>();
    EventToken m_uiLastToken = 0;
    int m_iSuppressAll = 0;
};

} // namespace forms
