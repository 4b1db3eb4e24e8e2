#include "render/models/KR_MeshDX11.h"

#include "framework/app/KE_EngineMembers.h"
#include "framework/core/KB_ByteCursor.h"
#include "platform/d3d11/d3d11.h"
#include "render/device/KR_GraphicsDevice.h"
#include "render/device/KR_ReleaseAndNull.h"

#include <cstring>
#include <new>

namespace
{

ID3D11Buffer* MakeBuffer(ID3D11Device* pDevice, std::uint32_t uiBytes, UINT uiBind, const void* pData)
{
    const D3D11_BUFFER_DESC desc{uiBytes, D3D11_USAGE_DEFAULT, uiBind, 0, 0, 0};
    const D3D11_SUBRESOURCE_DATA init{pData, 0, 0};
    ID3D11Buffer* pBuffer = nullptr;
    if (FAILED(pDevice->CreateBuffer(&desc, &init, &pBuffer)))
        return nullptr;
    return pBuffer;
}

} // namespace

KR_MeshDX11::~KR_MeshDX11()
{
    Release();
}

bool KR_MeshDX11::Allocate(std::uint32_t uiStride, std::uint32_t uiVertexCount, std::uint32_t uiTriangleCount)
{
    Release();
    m_uiStride = uiStride;
    m_uiVertexCount = uiVertexCount;
    m_uiTriangleCount = uiTriangleCount;
    const std::uint64_t uiVertexBytes = std::uint64_t{uiStride} * uiVertexCount;
    const std::uint64_t uiIndexBytes = std::uint64_t{uiTriangleCount} * 12;
    if (uiVertexBytes > UINT32_MAX || uiIndexBytes > UINT32_MAX)
        return false;
    try
    {
        m_vVertices.assign(uiVertexBytes, 0);
        m_vIndices.assign(std::size_t{uiTriangleCount} * 3, 0);
        m_vAttributes.assign(uiTriangleCount, 0);
    }
    catch (const std::bad_alloc&)
    {
        Release();
        return false;
    }
    m_bAllocated = true;
    return true;
}

void KR_MeshDX11::Release()
{
    KR_ReleaseAndNull(m_pIndexBuffer);
    KR_ReleaseAndNull(m_pVertexBuffer);
    std::vector<std::uint8_t>().swap(m_vVertices);
    std::vector<std::uint32_t>().swap(m_vIndices);
    std::vector<std::uint32_t>().swap(m_vAttributes);
    m_bAllocated = false;
}

void KR_MeshDX11::SetVertices(const void* pData)
{
    if (m_bAllocated && pData != nullptr && !m_vVertices.empty())
        std::memcpy(m_vVertices.data(), pData, m_vVertices.size());
}

void KR_MeshDX11::SetIndices(const std::uint32_t* pData)
{
    if (m_bAllocated && pData != nullptr && !m_vIndices.empty())
        std::memcpy(m_vIndices.data(), pData, m_vIndices.size() * sizeof(std::uint32_t));
}

void KR_MeshDX11::SetAttributes(const std::uint32_t* pData)
{
    if (m_bAllocated && pData != nullptr && !m_vAttributes.empty())
        std::memcpy(m_vAttributes.data(), pData, m_vAttributes.size() * sizeof(std::uint32_t));
}

bool KR_MeshDX11::BuildSubsets()
{
    m_vSubsetStarts.clear();
    m_vSubsetIndexCounts.clear();
    if (m_vAttributes.size() != m_uiTriangleCount)
        return false;
    std::uint32_t uiCurrent = 0;
    std::uint32_t uiStart = 0;
    std::uint32_t uiTriangles = 0;
    for (std::uint32_t i = 0; i < m_uiTriangleCount; ++i)
    {
        const std::uint32_t uiId = m_vAttributes[i];
        if (uiId == uiCurrent)
        {
            ++uiTriangles;
            continue;
        }
        ++uiCurrent;
        if (uiId != uiCurrent || uiTriangles == 0)
            return false;
        m_vSubsetStarts.push_back(uiStart);
        m_vSubsetIndexCounts.push_back(uiTriangles * 3);
        uiStart = i * 3;
        uiTriangles = 1;
    }
    m_vSubsetStarts.push_back(uiStart);
    m_vSubsetIndexCounts.push_back(uiTriangles * 3);
    return true;
}

bool KR_MeshDX11::CreateBuffers()
{
    KR_ReleaseAndNull(m_pVertexBuffer);
    KR_ReleaseAndNull(m_pIndexBuffer);
    KR_GraphicsDevice* pGraphicsDevice = KE_GetGraphicsDevice();
    ID3D11Device* pDevice = pGraphicsDevice != nullptr ? pGraphicsDevice->GetDevice() : nullptr;
    if (pDevice != nullptr && m_bAllocated)
    {
        // Allocate has checked that both sizes fit 32 bits; an empty mesh fails on the device.
        m_pVertexBuffer = MakeBuffer(pDevice, static_cast<std::uint32_t>(m_vVertices.size()),
                                     D3D11_BIND_VERTEX_BUFFER, m_vVertices.data());
        if (m_pVertexBuffer != nullptr)
        {
            m_pIndexBuffer = MakeBuffer(pDevice, static_cast<std::uint32_t>(m_vIndices.size() * 4),
                                        D3D11_BIND_INDEX_BUFFER, m_vIndices.data());
        }
    }
    if (m_pVertexBuffer == nullptr || m_pIndexBuffer == nullptr)
    {
        Release();
        return false;
    }
    return true;
}

std::uint32_t KR_MeshDX11::GetSubsetStart(std::uint32_t uiSubset) const
{
    return uiSubset < m_vSubsetStarts.size() ? m_vSubsetStarts[uiSubset] : 0;
}

std::uint32_t KR_MeshDX11::GetSubsetIndexCount(std::uint32_t uiSubset) const
{
    return uiSubset < m_vSubsetIndexCounts.size() ? m_vSubsetIndexCounts[uiSubset] : 0;
}

void KR_MeshDX11::DrawSubset(std::uint32_t uiSubset, std::uint32_t uiInstances)
{
    KR_GraphicsDevice* pGraphicsDevice = KE_GetGraphicsDevice();
    ID3D11DeviceContext* pContext =
        pGraphicsDevice != nullptr ? pGraphicsDevice->GetImmediateContext() : nullptr;
    if (pContext == nullptr || uiSubset >= m_vSubsetStarts.size())
        return;
    const UINT uiStride = m_uiStride;
    const UINT uiOffset = 0;
    pContext->IASetVertexBuffers(0, 1, &m_pVertexBuffer, &uiStride, &uiOffset);
    pContext->IASetIndexBuffer(m_pIndexBuffer, DXGI_FORMAT_R32_UINT, 0);
    pContext->IASetPrimitiveTopology(D3D11_PRIMITIVE_TOPOLOGY_TRIANGLELIST);
    if (uiInstances < 2)
        pContext->DrawIndexed(m_vSubsetIndexCounts[uiSubset], m_vSubsetStarts[uiSubset], 0);
    else
        pContext->DrawIndexedInstanced(m_vSubsetIndexCounts[uiSubset], uiInstances, m_vSubsetStarts[uiSubset],
                                       0, 0);
}

bool KR_MeshDX11::Serialize(std::uint8_t** ppCursor, std::uint64_t uiCapacity, std::uint64_t* pWritten) const
{
    if (ppCursor == nullptr || pWritten == nullptr)
        return false;
    // Without its CPU data (a failed buffer creation) the mesh has nothing true to write.
    if (!m_bAllocated || m_vAttributes.size() != m_uiTriangleCount)
        return false;
    const std::uint64_t uiSubsets = m_vSubsetStarts.size();
    // The capacity is the whole buffer's and *pWritten already counts the records before this one:
    // only what is left of it is this record's.
    const std::uint64_t uiRemaining = *pWritten < uiCapacity ? uiCapacity - *pWritten : 0;
    KB_ByteWriter writer(*ppCursor, uiRemaining);
    writer.WriteU32(m_uiTriangleCount);
    writer.WriteU32(m_uiStride);
    writer.WriteU32(m_uiVertexCount);
    writer.WriteU32(static_cast<std::uint32_t>(uiSubsets));
    for (std::uint32_t uiStart : m_vSubsetStarts)
        writer.WriteU32(uiStart);
    writer.WriteU32(static_cast<std::uint32_t>(m_vSubsetIndexCounts.size()));
    for (std::uint32_t uiCount : m_vSubsetIndexCounts)
        writer.WriteU32(uiCount);
    writer.WriteBytes(m_vVertices.data(), m_vVertices.size());
    for (std::uint32_t uiIndex : m_vIndices)
        writer.WriteU32(uiIndex);
    for (std::uint32_t uiId : m_vAttributes)
        writer.WriteU32(uiId);
    if (!writer.IsOk())
        return false;
    *ppCursor = writer.GetCursor();
    *pWritten += writer.GetWritten();
    return true;
}

bool KR_MeshDX11::Deserialize(const std::uint8_t** ppCursor, const std::uint8_t* pEnd)
{
    if (ppCursor == nullptr || *ppCursor == nullptr)
        return false;
    KB_ByteReader reader(*ppCursor, pEnd);
    std::uint32_t uiTriangles = 0, uiStride = 0, uiVertices = 0, uiSubsets = 0, uiCounts = 0;
    reader.ReadU32(&uiTriangles);
    reader.ReadU32(&uiStride);
    reader.ReadU32(&uiVertices);
    reader.ReadU32(&uiSubsets);
    if (!reader.CheckCount(uiSubsets, 4))
        return false;
    std::vector<std::uint32_t> vStarts(uiSubsets);
    for (std::uint32_t& uiStart : vStarts)
        reader.ReadU32(&uiStart);
    reader.ReadU32(&uiCounts);
    if (!reader.IsOk() || uiCounts != uiSubsets || !reader.CheckCount(uiCounts, 4))
        return false;
    std::vector<std::uint32_t> vCounts(uiCounts);
    for (std::uint32_t& uiCount : vCounts)
        reader.ReadU32(&uiCount);
    const std::uint64_t uiIndexCount = std::uint64_t{uiTriangles} * 3;
    for (std::uint32_t i = 0; i < uiSubsets; ++i)
        if (std::uint64_t{vStarts[i]} + vCounts[i] > uiIndexCount)
            return false;
    // Vertex bytes, then 4 bytes per index and per id, all before anything is allocated.
    if (!reader.CheckCount(uiVertices, uiStride) || !reader.CheckCount(uiTriangles, 16) ||
        reader.GetRemaining() < std::uint64_t{uiVertices} * uiStride + std::uint64_t{uiTriangles} * 16)
    {
        return false;
    }
    // The vertex bytes go straight from the checked range into the array (no zero fill first),
    // the indices and ids in one block read each: a large mesh is loaded often.
    Release();
    const std::uint64_t uiVertexBytes = std::uint64_t{uiStride} * uiVertices;
    if (uiVertexBytes > UINT32_MAX || std::uint64_t{uiTriangles} * 12 > UINT32_MAX)
        return false;
    try
    {
        const std::uint8_t* pVertexBytes = reader.GetCursor();
        m_vVertices.assign(pVertexBytes, pVertexBytes + uiVertexBytes);
        m_vIndices.resize(std::size_t{uiTriangles} * 3);
        m_vAttributes.resize(uiTriangles);
    }
    catch (const std::bad_alloc&)
    {
        Release();
        return false;
    }
    m_uiStride = uiStride;
    m_uiVertexCount = uiVertices;
    m_uiTriangleCount = uiTriangles;
    m_bAllocated = true;
    reader.Skip(uiVertexBytes);
    reader.ReadU32Array(m_vIndices.data(), m_vIndices.size());
    reader.ReadU32Array(m_vAttributes.data(), m_vAttributes.size());
    if (!reader.IsOk())
    {
        Release();
        return false;
    }
    m_vSubsetStarts = std::move(vStarts);
    m_vSubsetIndexCounts = std::move(vCounts);
    // A mesh without buffers must not pass for loaded: the cache read fails and the model is
    // imported again.
    if (!CreateBuffers())
        return false;
    *ppCursor = reader.GetCursor();
    return true;
}
