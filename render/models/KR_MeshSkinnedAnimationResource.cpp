#include "render/models/KR_MeshSkinnedAnimationResource.h"

#include "framework/app/KE_EngineMembers.h"
#include "framework/core/KB_ByteCursor.h"
#include "framework/core/KU_ByteCursorMath.h"
#include "render/device/KR_ShaderCoreManager.h"
#include "render/models/KR_MeshResource.h"
#include "timing/KB_LinearMatrixInterpolation.h"

#include <new>

using namespace DirectX;

namespace
{

// The shortest bone record: interval (16), a matrix curve without stamps, values or names
// (interval 16, stamp count 4, changed flag 1, three empty names 3, value count 4), child count
// (4), two matrices (128) and an empty name (1). Every child record takes at least this much.
constexpr std::uint64_t MIN_BONE_RECORD_BYTES = 16 + 28 + 4 + 128 + 1;

} // namespace

KR_MeshSkinnedAnimationResource::KR_MeshSkinnedAnimationResource(KU_MatrixInterpolation* pCurve,
                                                                 const KB_String& sBoneName,
                                                                 const XMMATRIX& mLocal)
    : m_mLocal(mLocal), m_mBind(XMMatrixIdentity()),
      m_pCurve(pCurve != nullptr ? pCurve : new(std::nothrow) KB_LinearMatrixInterpolation()),
      m_sBoneName(sBoneName)
{
    if (m_pCurve == nullptr || m_pCurve->GetNumMatrices() == 0)
        return;
    m_fStartTime = m_pCurve->GetStartTime();
    m_fEndTime = m_pCurve->GetEndTime();
}

KR_MeshSkinnedAnimationResource::KR_MeshSkinnedAnimationResource()
    : m_mLocal(XMMatrixIdentity()), m_mBind(XMMatrixIdentity()),
      m_pCurve(new(std::nothrow) KB_LinearMatrixInterpolation())
{
}

KR_MeshSkinnedAnimationResource::~KR_MeshSkinnedAnimationResource()
{
    delete m_pCurve;
    m_pCurve = nullptr;
    m_gChildren.DeleteAll();
}

bool KR_MeshSkinnedAnimationResource::Serialize(std::uint8_t** ppCursor, std::uint64_t uiCapacity,
                                                std::uint64_t* pWritten) const
{
    return WriteBone(ppCursor, uiCapacity, pWritten, 0);
}

bool KR_MeshSkinnedAnimationResource::WriteBone(std::uint8_t** ppCursor, std::uint64_t uiCapacity,
                                                std::uint64_t* pWritten, std::uint32_t uiDepth) const
{
    // A tree deeper than the reader accepts is not written: the record could never be read back.
    if (uiDepth >= MAX_DEPTH)
        return false;
    // Written through copies of the cursor and total so that a record that does not fit moves
    // neither.
    std::uint8_t* pCursor = *ppCursor;
    std::uint64_t uiWritten = *pWritten;
    if (m_pCurve == nullptr || !KU_TimeLimitedEntity::Serialize(&pCursor, uiCapacity, &uiWritten) ||
        !m_pCurve->Serialize(&pCursor, uiCapacity, &uiWritten))
        return false;

    const std::uint32_t uiNumChildren = m_gChildren.GetNumMembers();
    KB_ByteWriter countWriter(pCursor, KR_MeshRecord::Remaining(uiCapacity, uiWritten));
    countWriter.WriteU32(uiNumChildren);
    if (!KR_MeshRecord::Commit(countWriter, &pCursor, &uiWritten))
        return false;
    for (std::uint32_t i = 0; i < uiNumChildren; ++i)
        if (!m_gChildren[i]->WriteBone(&pCursor, uiCapacity, &uiWritten, uiDepth + 1))
            return false;

    KB_ByteWriter tailWriter(pCursor, KR_MeshRecord::Remaining(uiCapacity, uiWritten));
    KU_ByteCursorMath::WriteMatrix(tailWriter, m_mLocal);
    KU_ByteCursorMath::WriteMatrix(tailWriter, m_mBind);
    tailWriter.WriteString(m_sBoneName);
    if (!KR_MeshRecord::Commit(tailWriter, &pCursor, &uiWritten))
        return false;
    *ppCursor = pCursor;
    *pWritten = uiWritten;
    return true;
}

bool KR_MeshSkinnedAnimationResource::Deserialize(const std::uint8_t** ppCursor, const std::uint8_t* pEnd)
{
    KR_MeshSkinnedAnimationResource* pRead = ReadBone(ppCursor, pEnd, 0);
    if (pRead == nullptr)
        return false;
    TakeContents(pRead);
    return true;
}

KR_MeshSkinnedAnimationResource* KR_MeshSkinnedAnimationResource::ReadBone(const std::uint8_t** ppCursor,
                                                                           const std::uint8_t* pEnd,
                                                                           std::uint32_t uiDepth)
{
    // The nesting comes from the file; without a cap a crafted record could exhaust the stack.
    if (uiDepth >= MAX_DEPTH)
        return nullptr;

    KB_ByteReader headReader(*ppCursor, pEnd);
    double fStartTime = 0.0;
    double fEndTime = 0.0;
    headReader.ReadF64(&fStartTime);
    headReader.ReadF64(&fEndTime);
    if (!headReader.IsOk())
        return nullptr;
    const std::uint8_t* pCursor = headReader.GetCursor();

    KR_MeshSkinnedAnimationResource* pBone = new (std::nothrow) KR_MeshSkinnedAnimationResource();
    if (pBone == nullptr)
        return nullptr;
    pBone->m_fStartTime = fStartTime;
    pBone->m_fEndTime = fEndTime;
    bool bOk = pBone->m_pCurve != nullptr && pBone->m_pCurve->Deserialize(&pCursor, pEnd);

    std::uint32_t uiNumChildren = 0;
    if (bOk)
    {
        KB_ByteReader countReader(pCursor, pEnd);
        countReader.ReadU32(&uiNumChildren);
        bOk = countReader.CheckCount(uiNumChildren, MIN_BONE_RECORD_BYTES);
        pCursor = countReader.GetCursor();
    }
    for (std::uint32_t i = 0; bOk && i < uiNumChildren; ++i)
    {
        KR_MeshSkinnedAnimationResource* pChild = ReadBone(&pCursor, pEnd, uiDepth + 1);
        bOk = pChild != nullptr;
        if (bOk)
            pBone->m_gChildren.Add(pChild);
    }
    if (bOk)
    {
        KB_ByteReader tailReader(pCursor, pEnd);
        KU_ByteCursorMath::ReadMatrix(tailReader, &pBone->m_mLocal);
        KU_ByteCursorMath::ReadMatrix(tailReader, &pBone->m_mBind);
        tailReader.ReadString(&pBone->m_sBoneName);
        bOk = tailReader.IsOk();
        pCursor = tailReader.GetCursor();
    }
    if (!bOk)
    {
        delete pBone; // with the children read so far
        return nullptr;
    }
    *ppCursor = pCursor;
    return pBone;
}

void KR_MeshSkinnedAnimationResource::TakeContents(KR_MeshSkinnedAnimationResource* pSource)
{
    m_fStartTime = pSource->m_fStartTime;
    m_fEndTime = pSource->m_fEndTime;
    delete m_pCurve;
    m_pCurve = pSource->m_pCurve;
    pSource->m_pCurve = nullptr;
    m_gChildren.DeleteAll();
    m_gChildren = pSource->m_gChildren;
    pSource->m_gChildren.RemoveAll();
    m_mLocal = pSource->m_mLocal;
    m_mBind = pSource->m_mBind;
    m_sBoneName = pSource->m_sBoneName;
    delete pSource;
}

KB_String KR_MeshSkinnedAnimationResource::GetBoneName() const
{
    return m_sBoneName;
}

std::uint32_t KR_MeshSkinnedAnimationResource::GetBoneCount() const
{
    std::uint32_t uiCount = 1;
    for (std::uint32_t i = 0; i < m_gChildren.GetNumMembers(); ++i)
        uiCount += m_gChildren[i]->GetBoneCount();
    return uiCount;
}

void KR_MeshSkinnedAnimationResource::UploadBoneMatrices(double fTime)
{
    KR_ShaderCoreManager* pShaderCore = KE_GetShaderCoreManager();
    if (pShaderCore == nullptr)
        return;
    // The buffer keeps its storage from frame to frame.
    m_gBoneMatrices.RemoveAll(false);
    FillBoneMatrices(fTime, XMMatrixIdentity(), m_gBoneMatrices);
    pShaderCore->SetBoneMatrices(m_gBoneMatrices);
}

void KR_MeshSkinnedAnimationResource::AddChild(KR_MeshSkinnedAnimationResource* pChild)
{
    m_gChildren.Add(pChild);
    if (pChild->GetStartTime() < m_fStartTime)
        m_fStartTime = pChild->GetStartTime();
    if (pChild->GetEndTime() > m_fEndTime)
        m_fEndTime = pChild->GetEndTime();
}

void KR_MeshSkinnedAnimationResource::SetBindMatrices(const KB_GrowingArray<XMMATRIX>& gMatrices,
                                                      std::uint32_t* pIndex)
{
    m_mBind = *pIndex < gMatrices.GetNumMembers() ? gMatrices[*pIndex] : XMMatrixIdentity();
    ++*pIndex;
    for (std::uint32_t i = 0; i < m_gChildren.GetNumMembers(); ++i)
        m_gChildren[i]->SetBindMatrices(gMatrices, pIndex);
}

void KR_MeshSkinnedAnimationResource::CollectBoneNames(KB_GrowingArray<KB_String>& gNames) const
{
    gNames.Add(m_sBoneName);
    for (std::uint32_t i = 0; i < m_gChildren.GetNumMembers(); ++i)
        m_gChildren[i]->CollectBoneNames(gNames);
}

XMMATRIX* KR_MeshSkinnedAnimationResource::GetLocalMatrixAt(XMMATRIX* pOut, double fTime)
{
    if (m_pCurve == nullptr || m_pCurve->GetNumMatrices() == 0)
    {
        *pOut = m_mLocal;
        return pOut;
    }
    m_pCurve->GetValueAt(pOut, fTime - m_pCurve->GetStartTime());
    return pOut;
}

void KR_MeshSkinnedAnimationResource::FillBoneMatrices(double fTime, const XMMATRIX& mParent,
                                                       KB_GrowingArray<XMMATRIX>& gMatrices)
{
    XMMATRIX mLocal;
    GetLocalMatrixAt(&mLocal, fTime);
    const XMMATRIX mGlobal = XMMatrixMultiply(mLocal, mParent);
    gMatrices.Add(XMMatrixMultiply(m_mBind, mGlobal));
    for (std::uint32_t i = 0; i < m_gChildren.GetNumMembers(); ++i)
        m_gChildren[i]->FillBoneMatrices(fTime, mGlobal, gMatrices);
}

KR_MeshSkinnedAnimationResource* KR_MeshSkinnedAnimationResource::GetChild(std::uint32_t uiIndex) const
{
    return uiIndex < m_gChildren.GetNumMembers() ? m_gChildren[uiIndex] : nullptr;
}
