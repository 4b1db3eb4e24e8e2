#include "timing/KU_InterpolationManager.h"

#include "framework/threads/KT_AutoLock.h"

KU_InterpolationManager::KU_InterpolationManager() = default;

KU_InterpolationManager::~KU_InterpolationManager() = default;

void KU_InterpolationManager::RegisterInterpolation(const KB_String& sPath, KU_VertexInterpolation* pCurve)
{
    KT_AutoLock lock(&m_Mutex);
    for (std::uint32_t i = 0; i < m_gEntries.GetNumMembers(); ++i)
        if (m_gEntries[i].second == pCurve && m_gEntries[i].first == sPath)
            return;
    m_gEntries.Add({sPath, pCurve});
}

void KU_InterpolationManager::UnregisterInterpolation(const KU_VertexInterpolation* pCurve)
{
    KT_AutoLock lock(&m_Mutex);
    for (std::uint32_t i = m_gEntries.GetNumMembers(); i-- > 0;)
        if (m_gEntries[i].second == pCurve)
            m_gEntries.Remove(i);
}

void KU_InterpolationManager::UnregisterInterpolation(const KB_String& sPath)
{
    KT_AutoLock lock(&m_Mutex);
    for (std::uint32_t i = 0; i < m_gEntries.GetNumMembers(); ++i)
    {
        if (m_gEntries[i].first == sPath)
        {
            m_gEntries.Remove(i);
            return;
        }
    }
}

void KU_InterpolationManager::RenameInterpolation(const KU_VertexInterpolation* pCurve,
                                                  const KB_String& sNewPath)
{
    KT_AutoLock lock(&m_Mutex);
    for (std::uint32_t i = 0; i < m_gEntries.GetNumMembers(); ++i)
        if (m_gEntries[i].second == pCurve)
            m_gEntries[i].first = sNewPath;
}

const KB_GrowingArray<KB_Pair<KB_String, KU_VertexInterpolation*>>&
KU_InterpolationManager::GetAllVertexInterpolations() const
{
    return m_gEntries;
}

KB_GrowingArray<KB_Pair<KB_String, KU_VertexInterpolation*>>
KU_InterpolationManager::CopyAllVertexInterpolations() const
{
    KT_AutoLock lock(&m_Mutex);
    return m_gEntries;
}
