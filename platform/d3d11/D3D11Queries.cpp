#include "platform/d3d11/D3D11Queries.h"

#include <cstring>
#include <new>

namespace d3d11_internal
{

std::atomic<UINT> Query::s_uiPollsBeforeDone{0};

Query::Query() : ComObject<ID3D11Query>("ID3D11Query")
{
}

HRESULT Query::Create(const D3D11_QUERY_DESC* pDesc, Query** ppOut)
{
    if (pDesc == nullptr || pDesc->Query != D3D11_QUERY_EVENT || pDesc->MiscFlags != 0)
        return E_INVALIDARG;
    if (ppOut == nullptr)
        return S_FALSE;
    Query* pQuery = nullptr;
    try
    {
        pQuery = new Query();
    }
    catch (const std::bad_alloc&)
    {
        return E_OUTOFMEMORY;
    }
    pQuery->m_desc = *pDesc;
    *ppOut = pQuery;
    return S_OK;
}

Query* Query::From(ID3D11Asynchronous* pAsync)
{
    return pAsync != nullptr ? dynamic_cast<Query*>(pAsync) : nullptr;
}

void Query::GetDesc(D3D11_QUERY_DESC* pDesc)
{
    if (pDesc != nullptr)
        *pDesc = m_desc;
}

void Query::Issue()
{
    m_uiPollsLeft.store(s_uiPollsBeforeDone.load(std::memory_order_relaxed), std::memory_order_relaxed);
    m_bIssued.store(true, std::memory_order_release);
}

HRESULT Query::Poll(void* pData, UINT uiDataSize)
{
    if (!m_bIssued.load(std::memory_order_acquire))
        return DXGI_ERROR_INVALID_CALL;
    if (pData != nullptr && uiDataSize != sizeof(BOOL))
        return E_INVALIDARG;
    UINT uiLeft = m_uiPollsLeft.load(std::memory_order_relaxed);
    while (uiLeft > 0)
        if (m_uiPollsLeft.compare_exchange_weak(uiLeft, uiLeft - 1, std::memory_order_relaxed))
            return S_FALSE;
    if (pData != nullptr)
    {
        const BOOL bDone = TRUE;
        std::memcpy(pData, &bDone, sizeof(bDone));
    }
    return S_OK;
}

void Query::SetPollsBeforeDone(UINT uiPolls)
{
    s_uiPollsBeforeDone.store(uiPolls, std::memory_order_relaxed);
}

bool Query::Implements(REFIID riid) const
{
    return IsEqualIID(riid, IID_ID3D11Query) || IsEqualIID(riid, IID_ID3D11Asynchronous) ||
           IsEqualIID(riid, IID_ID3D11DeviceChild) || IsEqualIID(riid, IID_IUnknown);
}

} // namespace d3d11_internal
