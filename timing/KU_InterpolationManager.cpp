#include "timing/KU_InterpolationManager.h"

#include "framework/threads/KT_AutoLock.h"

KU_InterpolationManager::KU_InterpolationManager() = default;

KU_InterpolationManager::~KU_InterpolationManager() = default;

void KU_InterpolationManager::RegisterInterpolation(const KB_String& sPath, KU_VertexInterpolation* pCurve)
{
    KT_AutoLock lock(&m_oMutex);
    std::uint64_t uiSerial = 0;
    for (std::uint32_t i = 0; i < m_gEntries.GetNumMembers(); ++i)
    {
        if (m_gEntries[i].second != pCurve)
            continue;
        if (m_gEntries[i].first == sPath)
            return;
        uiSerial = m_gSerials[i];
    }
    m_gEntries.Add({sPath, pCurve});
    m_gSerials.Add(uiSerial != 0 ? uiSerial : ++m_uiLastSerial);
}

void KU_InterpolationManager::UnregisterInterpolation(const KU_VertexInterpolation* pCurve)
{
    KT_AutoLock lock(&m_oMutex);
    for (std::uint32_t i = m_gEntries.GetNumMembers(); i-- > 0;)
        if (m_gEntries[i].second == pCurve)
        {
            m_gEntries.Remove(i);
            m_gSerials.Remove(i);
        }
}

void KU_InterpolationManager::UnregisterInterpolation(const KB_String& sPath)
{
    KT_AutoLock lock(&m_oMutex);
    for (std::uint32_t i = 0; i < m_gEntries.GetNumMembers(); ++i)
    {
        if (m_gEntries[i].first == sPath)
        {
            m_gEntries.Remove(i);
            m_gSerials.Remove(i);
            return;
        }
    }
}

void KU_InterpolationManager::RenameInterpolation(const KU_VertexInterpolation* pCurve,
                                                  const KB_String& sNewPath)
{
    KT_AutoLock lock(&m_oMutex);
    for (std::uint32_t i = 0; i < m_gEntries.GetNumMembers(); ++i)
        if (m_gEntries[i].second == pCurve)
            m_gEntries[i].first = sNewPath;
}

std::uint64_t KU_InterpolationManager::GetRegistrationSerial(const KU_VertexInterpolation* pCurve) const
{
    KT_AutoLock lock(&m_oMutex);
    for (std::uint32_t i = 0; i < m_gEntries.GetNumMembers(); ++i)
        if (m_gEntries[i].second == pCurve)
            return m_gSerials[i];
    return 0;
}

const KB_GrowingArray<KB_Pair<KB_String, KU_VertexInterpolation*>>&
KU_InterpolationManager::GetAllVertexInterpolations() const
{
    return m_gEntries;
}

KB_GrowingArray<KB_Pair<KB_String, KU_VertexInterpolation*>>
KU_InterpolationManager::CopyAllVertexInterpolations() const
{
    KT_AutoLock lock(&m_oMutex);
    return m_gEntries;
}
