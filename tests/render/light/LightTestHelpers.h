#pragma once
// The light tests' engine: a file manager over one in-memory repository, a dispatcher, developer
// mode on, and a receiver on channels 5 and 6 that logs every message in the order it came.

#include "framework/app/KE_Dispatcher.h"
#include "framework/app/KE_MessageReceiver.h"
#include "platform/directxmath/DirectXMath.h"
#include "render/debug/KR_Ray.h"
#include "tests/support/MemoryFiles.h"
#include "tests/support/TestEngine.h"
#include "timing/KB_LinearInterpolation.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace lighttest
{

struct Message
{
    KE_MessageType type;
    KE_MessageSubType subType;
    void* pPayload;
    bool operator==(const Message& other) const
    {
        return type == other.type && subType == other.subType && pPayload == other.pPayload;
    }
};

class MessageLog : public KE_MessageReceiver
{
public:
    bool Receive(KE_MessageType type, KE_MessageSubType subType, void* pPayload) override
    {
        m_Messages.push_back({type, subType, pPayload});
        return true;
    }
    std::vector<Message> m_Messages;
};

inline KR_Ray Ray(float x, float y, float z, float dx, float dy, float dz)
{
    return KR_Ray{DirectX::XMVectorSet(x, y, z, 1.0f), DirectX::XMVectorSet(dx, dy, dz, 0.0f)};
}

// A rail from a at time 0 to b at time 1.
inline KB_LinearInterpolation* Rail(const DirectX::XMVECTOR& a, const DirectX::XMVECTOR& b)
{
    KB_LinearInterpolation* pRail = new KB_LinearInterpolation();
    pRail->InsertVertex(a, 0.0);
    pRail->InsertVertex(b, 1.0);
    pRail->SetEndTime(1.0);
    return pRail;
}

class LightTest : public ::testing::Test
{
protected:
    static constexpr const char* FOLDER = "Assets/Entities/S/Lights/";

    void SetUp() override
    {
        m_Files.Install();
        m_Engine->SetDispatcher(&m_Dispatcher);
        m_Engine->SetDeveloperBuild(true);
        m_Dispatcher.RegisterReceiver(KE_MT_EditorCommand, &m_Log);
        m_Dispatcher.RegisterReceiver(KE_MT_LightSelection, &m_Log);
    }
    void TearDown() override
    {
        m_Dispatcher.UnRegisterReceiver(KE_MT_EditorCommand, &m_Log);
        m_Dispatcher.UnRegisterReceiver(KE_MT_LightSelection, &m_Log);
    }

    static std::string Path(const char* pName) { return std::string(FOLDER) + pName; }
    void SetFile(const char* pName, const std::string& sText) { m_pRepository->SetFile(Path(pName), sText); }
    // The text after the fixed comment block every entity file begins with.
    std::string BodyOf(const char* pName)
    {
        const std::string sText = m_pRepository->GetFileContents(Path(pName));
        const std::size_t uiTitle = sText.find("# \n# Simple");
        return uiTitle == std::string::npos ? sText : sText.substr(uiTitle);
    }

    TestEngine m_Engine;
    MemoryFiles m_Files;
    KE_Dispatcher m_Dispatcher;
    MessageLog m_Log;
    MemoryRepository* m_pRepository = m_Files.GetRepository();
};

} // namespace lighttest
