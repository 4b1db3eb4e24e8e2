#include "platform/win32/WinDialogs.h"

#include "platform/win32/Win32Control.h"
#include "platform/win32/WinInternal.h"

#include <cstdio>
#include <deque>
#include <mutex>
#include <optional>
#include <utility>

namespace
{
// A queued answer; with a caption, only a box of that caption may take it.
struct ScriptedAnswer
{
    int answer;
    std::optional<std::string> caption;
};

struct DialogState
{
    std::mutex mutex;
    std::deque<ScriptedAnswer> answers;
    bool strict = false;
    int unexpectedCount = 0;
    std::function<int(const Win32Control::MessageBoxRecord&)> responder;
    std::deque<Win32Control::MessageBoxRecord> records; // the last MESSAGE_BOX_HISTORY_LIMIT
    std::uint64_t shown = 0;
};

DialogState& Dialogs()
{
    static DialogState* s_pState = new DialogState;
    return *s_pState;
}

int FirstButton(UINT type)
{
    switch (type & MB_TYPEMASK)
    {
    case MB_OK:
    case MB_OKCANCEL:
        return IDOK;
    case MB_ABORTRETRYIGNORE:
        return IDABORT;
    case MB_YESNOCANCEL:
    case MB_YESNO:
        return IDYES;
    case MB_RETRYCANCEL:
        return IDRETRY;
    case MB_CANCELTRYCONTINUE:
        return IDCANCEL;
    default:
        return 0;
    }
}

// In strict mode a box nobody answered is unexpected: counts it and answers true.
bool CountUnansweredAsUnexpected()
{
    DialogState& state = Dialogs();
    std::lock_guard<std::mutex> lock(state.mutex);
    if (state.strict)
        ++state.unexpectedCount;
    return state.strict;
}
} // namespace

int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type)
{
    Win32Control::MessageBoxRecord record = {owner, text ? text : "", caption ? caption : "", type, 0};
    const int firstButton = FirstButton(type);
    if (firstButton == 0)
        return 0;
    DialogState& state = Dialogs();
    bool answered = false;
    std::function<int(const Win32Control::MessageBoxRecord&)> responder;
    {
        std::lock_guard<std::mutex> lock(state.mutex);
        if (!state.answers.empty())
        {
            const ScriptedAnswer scripted = state.answers.front();
            state.answers.pop_front();
            record.unexpected = scripted.caption && *scripted.caption != record.caption;
            record.answer = record.unexpected ? firstButton : scripted.answer;
            state.unexpectedCount += record.unexpected ? 1 : 0;
            answered = true;
        }
        else
        {
            responder = state.responder;
        }
    }
    // The responder runs unlocked: it may itself show a message box.
    if (!answered && responder)
    {
        record.answer = responder(record);
        answered = true;
    }
    if (!answered && CountUnansweredAsUnexpected())
    {
        record.unexpected = true;
        record.answer = firstButton;
        answered = true;
    }
    if (!answered)
    {
        std::fprintf(stderr, "[%s] %s\n", record.caption.c_str(), record.text.c_str());
        record.answer = firstButton;
    }
    std::lock_guard<std::mutex> lock(state.mutex);
    state.records.push_back(std::move(record));
    if (state.records.size() > Win32Control::MESSAGE_BOX_HISTORY_LIMIT)
        state.records.pop_front();
    ++state.shown;
    return state.records.back().answer;
}

namespace win32_internal
{
void ResetDialogs()
{
    DialogState& state = Dialogs();
    std::lock_guard<std::mutex> lock(state.mutex);
    state.answers.clear();
    state.responder = nullptr;
    state.records.clear();
    state.shown = 0;
    state.strict = false;
    state.unexpectedCount = 0;
}
} // namespace win32_internal

namespace Win32Control
{
void PushMessageBoxAnswer(int answer)
{
    DialogState& state = Dialogs();
    std::lock_guard<std::mutex> lock(state.mutex);
    state.answers.push_back({answer, std::nullopt});
}

void ExpectMessageBox(const std::string& caption, int answer)
{
    DialogState& state = Dialogs();
    std::lock_guard<std::mutex> lock(state.mutex);
    state.answers.push_back({answer, caption});
}

void SetStrictMessageBoxes(bool strict)
{
    DialogState& state = Dialogs();
    std::lock_guard<std::mutex> lock(state.mutex);
    state.strict = strict;
}

int GetUnexpectedMessageBoxCount()
{
    DialogState& state = Dialogs();
    std::lock_guard<std::mutex> lock(state.mutex);
    return state.unexpectedCount;
}

void ResetMessageBoxes()
{
    win32_internal::ResetDialogs();
}

void SetMessageBoxResponder(std::function<int(const MessageBoxRecord&)> responder)
{
    DialogState& state = Dialogs();
    std::lock_guard<std::mutex> lock(state.mutex);
    state.responder = std::move(responder);
}

std::vector<MessageBoxRecord> GetMessageBoxes()
{
    DialogState& state = Dialogs();
    std::lock_guard<std::mutex> lock(state.mutex);
    return {state.records.begin(), state.records.end()};
}

std::uint64_t GetMessageBoxCount()
{
    DialogState& state = Dialogs();
    std::lock_guard<std::mutex> lock(state.mutex);
    return state.shown;
}
} // namespace Win32Control
