#pragma once
// Internal to the stand-ins: the failures a test queued with a layer's FailNext ("the next call of
// that name fails with hr"), taken in order, each once. Thread-safe.

#include "platform/win32/WinTypes.h"

#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace win32_internal
{

class FailureQueue
{
public:
    void Push(const std::string& sCall, HRESULT hr)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_vFailures.emplace_back(sCall, hr);
    }

    // S_OK when no failure is queued for the call; else the first queued result, taken.
    HRESULT Take(const char* pCall)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        for (auto it = m_vFailures.begin(); it != m_vFailures.end(); ++it)
        {
            if (it->first == pCall)
            {
                const HRESULT hr = it->second;
                m_vFailures.erase(it);
                return hr;
            }
        }
        return S_OK;
    }

    void Clear()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_vFailures.clear();
    }

private:
    std::mutex m_mutex;
    std::vector<std::pair<std::string, HRESULT>> m_vFailures;
};

} // namespace win32_internal
