#pragma once
// Internal to the Direct3D 11 stand-in: event queries. The software device has always finished
// its work, so a query answers "done" once it has been ended, after as many "not yet" polls as
// the test asked for (D3D11Control::SetEventQueryPolls), counted from each End.

#include "platform/d3d11/D3D11Runtime.h"
#include "platform/d3d11/d3d11.h"

#include <atomic>

namespace d3d11_internal
{

class Query final : public ComObject<ID3D11Query>
{
public:
    static HRESULT Create(const D3D11_QUERY_DESC* pDesc, Query** ppOut);
    static Query* From(ID3D11Asynchronous* pAsync);

    UINT GetDataSize() override { return sizeof(BOOL); }
    void GetDesc(D3D11_QUERY_DESC* pDesc) override;

    // Context side.
    void Issue();
    HRESULT Poll(void* pData, UINT uiDataSize);

    // "Not yet" answers before "done" for queries ended from now on.
    static void SetPollsBeforeDone(UINT uiPolls);

private:
    Query();
    bool Implements(REFIID riid) const override;

    D3D11_QUERY_DESC m_desc{};
    std::atomic<bool> m_bIssued{false};
    std::atomic<UINT> m_uiPollsLeft{0};
    static std::atomic<UINT> s_uiPollsBeforeDone;
};

} // namespace d3d11_internal
