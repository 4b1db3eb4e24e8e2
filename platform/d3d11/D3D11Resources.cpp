#include "platform/d3d11/D3D11Resources.h"

#include "platform/d3d11/D3D11Formats.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace d3d11_internal
{

namespace
{

// Largest resource the stand-in allocates; the runtime's own limit depends on video memory.
constexpr std::uint64_t MAX_RESOURCE_BYTES = std::uint64_t{1} << 30;

constexpr UINT TEXTURE_BIND_FLAGS = D3D11_BIND_SHADER_RESOURCE | D3D11_BIND_RENDER_TARGET |
                                    D3D11_BIND_DEPTH_STENCIL | D3D11_BIND_UNORDERED_ACCESS;
constexpr UINT CPU_ACCESS_FLAGS = D3D11_CPU_ACCESS_READ | D3D11_CPU_ACCESS_WRITE;

UINT MipSide(UINT uiSide, UINT uiMip)
{
    return (uiSide >> uiMip) > 0 ? (uiSide >> uiMip) : 1;
}

bool CanBeDepthStencil(DXGI_FORMAT format)
{
    FormatInfo info;
    if (!GetFormatInfo(format, &info))
        return false;
    const bool bDepthFamily =
        info.family == DXGI_FORMAT_R32_TYPELESS || info.family == DXGI_FORMAT_R24G8_TYPELESS ||
        info.family == DXGI_FORMAT_R16_TYPELESS || info.family == DXGI_FORMAT_R32G8X24_TYPELESS;
    return bDepthFamily && (info.kind == FormatKind::Depth || info.kind == FormatKind::Typeless);
}

// Usage and CPU-access rules shared by buffers and textures.
HRESULT ValidateUsage(const ResourceShape& shape, bool bHasInitialData)
{
    if ((shape.cpuAccessFlags & ~CPU_ACCESS_FLAGS) != 0)
        return E_INVALIDARG;
    switch (shape.usage)
    {
    case D3D11_USAGE_DEFAULT:
        return shape.cpuAccessFlags == 0 ? S_OK : E_INVALIDARG;
    case D3D11_USAGE_IMMUTABLE:
        return (bHasInitialData && shape.cpuAccessFlags == 0 &&
                (shape.bindFlags & (D3D11_BIND_RENDER_TARGET | D3D11_BIND_DEPTH_STENCIL |
                                    D3D11_BIND_UNORDERED_ACCESS | D3D11_BIND_STREAM_OUTPUT)) == 0)
                   ? S_OK
                   : E_INVALIDARG;
    case D3D11_USAGE_DYNAMIC:
        return (shape.cpuAccessFlags == D3D11_CPU_ACCESS_WRITE &&
                (shape.bindFlags & (D3D11_BIND_RENDER_TARGET | D3D11_BIND_DEPTH_STENCIL |
                                    D3D11_BIND_UNORDERED_ACCESS | D3D11_BIND_STREAM_OUTPUT)) == 0)
                   ? S_OK
                   : E_INVALIDARG;
    case D3D11_USAGE_STAGING:
        return (shape.bindFlags == 0 && shape.cpuAccessFlags != 0) ? S_OK : E_INVALIDARG;
    default:
        return E_INVALIDARG;
    }
}

HRESULT ValidateTexture(const ResourceShape& shape, bool bHasInitialData, UINT uiMaxSide, UINT uiMaxArraySize)
{
    FormatInfo info;
    if (!GetFormatInfo(shape.format, &info))
        return E_INVALIDARG;
    if (shape.width < 1 || shape.width > uiMaxSide || shape.height < 1 || shape.height > uiMaxSide ||
        shape.depth < 1 || shape.depth > uiMaxSide || shape.arraySize < 1 || shape.arraySize > uiMaxArraySize)
    {
        return E_INVALIDARG;
    }
    UINT uiLargest = shape.width > shape.height ? shape.width : shape.height;
    uiLargest = uiLargest > shape.depth ? uiLargest : shape.depth;
    if (shape.mipLevels < 1 || shape.mipLevels > FullMipCount(uiLargest))
        return E_INVALIDARG;
    const HRESULT hrUsage = ValidateUsage(shape, bHasInitialData);
    if (FAILED(hrUsage))
        return hrUsage;
    if (shape.usage == D3D11_USAGE_DYNAMIC && shape.mipLevels != 1)
        return E_INVALIDARG;
    if ((shape.bindFlags & ~TEXTURE_BIND_FLAGS) != 0)
        return E_INVALIDARG;
    const bool bRenderTarget = (shape.bindFlags & D3D11_BIND_RENDER_TARGET) != 0;
    const bool bDepthStencil = (shape.bindFlags & D3D11_BIND_DEPTH_STENCIL) != 0;
    if (bRenderTarget && bDepthStencil)
        return E_INVALIDARG;
    if (bDepthStencil &&
        (!CanBeDepthStencil(shape.format) || shape.dimension == D3D11_RESOURCE_DIMENSION_TEXTURE3D))
    {
        return E_INVALIDARG;
    }
    if (bRenderTarget && (info.kind == FormatKind::Depth || info.blockWidth == 4))
        return E_INVALIDARG;
    if (info.blockWidth == 4)
    {
        // Block-compressed: 2-D and 3-D only, top level a whole number of blocks.
        if (shape.dimension == D3D11_RESOURCE_DIMENSION_TEXTURE1D || shape.width % 4 != 0 ||
            shape.height % 4 != 0)
        {
            return E_INVALIDARG;
        }
    }
    if ((shape.miscFlags & D3D11_RESOURCE_MISC_TEXTURECUBE) != 0)
    {
        if (shape.dimension != D3D11_RESOURCE_DIMENSION_TEXTURE2D || shape.arraySize % 6 != 0 ||
            shape.width != shape.height)
        {
            return E_INVALIDARG;
        }
    }
    if ((shape.miscFlags & D3D11_RESOURCE_MISC_GENERATE_MIPS) != 0 &&
        (shape.bindFlags & (D3D11_BIND_RENDER_TARGET | D3D11_BIND_SHADER_RESOURCE)) !=
            (D3D11_BIND_RENDER_TARGET | D3D11_BIND_SHADER_RESOURCE))
    {
        return E_INVALIDARG;
    }
    if (shape.sampleCount > 1)
    {
        if (shape.dimension != D3D11_RESOURCE_DIMENSION_TEXTURE2D || shape.mipLevels != 1 ||
            bHasInitialData || shape.usage != D3D11_USAGE_DEFAULT ||
            (shape.bindFlags & D3D11_BIND_UNORDERED_ACCESS) != 0)
        {
            return E_INVALIDARG;
        }
    }
    return S_OK;
}

// Stores a new object in *ppOut, or only reports success when ppOut is null.
template <class T>
HRESULT Finish(T* pObject, HRESULT hr, T** ppOut)
{
    if (FAILED(hr))
    {
        pObject->Discard();
        return hr;
    }
    if (ppOut == nullptr)
    {
        pObject->Discard();
        return S_FALSE;
    }
    *ppOut = pObject;
    return S_OK;
}

} // namespace

UINT FullMipCount(UINT uiLargestSide)
{
    UINT uiCount = 1;
    while (uiLargestSide > 1)
    {
        uiLargestSide >>= 1;
        ++uiCount;
    }
    return uiCount;
}

// One element, then the filled part copied onto the rest, doubling each time (clears of
// large targets that something reads are filled this way).
void FillPattern(std::uint8_t* pData, std::size_t uiBytes, const std::uint8_t* pPattern, UINT uiElementSize)
{
    if (uiElementSize == 0)
        return;
    const std::size_t uiWhole = uiBytes / uiElementSize * uiElementSize;
    if (uiWhole == 0)
        return;
    std::memcpy(pData, pPattern, uiElementSize);
    for (std::size_t uiFilled = uiElementSize; uiFilled < uiWhole;)
    {
        const std::size_t uiCopy = std::min(uiFilled, uiWhole - uiFilled);
        std::memcpy(pData + uiFilled, pData, uiCopy);
        uiFilled += uiCopy;
    }
}

bool UniformValue::operator==(const UniformValue& other) const
{
    return size == other.size && std::memcmp(bytes, other.bytes, size) == 0;
}

bool UniformValue::Expand(UINT uiElementSize, std::uint8_t* pOut) const
{
    if (size == 0 || uiElementSize == 0 || uiElementSize > MAX_SIZE || uiElementSize % size != 0)
        return false;
    for (UINT i = 0; i < uiElementSize; ++i)
        pOut[i] = bytes[i % size];
    return true;
}

const SubresourceLayout* ResourceImpl::GetLayout(UINT uiSubresource) const
{
    return uiSubresource < m_vLayouts.size() ? &m_vLayouts[uiSubresource] : nullptr;
}

std::uint8_t* ResourceImpl::MakeRealLocked(UINT uiSubresource, bool bFill)
{
    if (uiSubresource >= m_vLayouts.size())
        return nullptr;
    ByteBuffer& data = m_vData[uiSubresource];
    UniformValue& uniform = m_vUniform[uiSubresource];
    const std::size_t uiBytes = m_vLayouts[uiSubresource].byteSize;
    if (data.size() != uiBytes)
    {
        try
        {
            data.resize(uiBytes); // filled below or by the caller
        }
        catch (const std::bad_alloc&)
        {
            return nullptr;
        }
    }
    if (uniform.size != 0)
    {
        if (bFill)
            FillPattern(data.data(), uiBytes, uniform.bytes, uniform.size);
        uniform.size = 0;
    }
    return data.data();
}

std::uint8_t* ResourceImpl::GetData(UINT uiSubresource)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return MakeRealLocked(uiSubresource, true);
}

std::uint8_t* ResourceImpl::GetDataForOverwrite(UINT uiSubresource)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return MakeRealLocked(uiSubresource, false);
}

bool ResourceImpl::ReadData(UINT uiSubresource, std::uint8_t* pOut)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (uiSubresource >= m_vLayouts.size())
        return false;
    const std::size_t uiBytes = m_vLayouts[uiSubresource].byteSize;
    const UniformValue& uniform = m_vUniform[uiSubresource];
    if (uniform.size != 0)
        FillPattern(pOut, uiBytes, uniform.bytes, uniform.size);
    else if (uiBytes > 0)
        std::memcpy(pOut, m_vData[uiSubresource].data(), uiBytes);
    return true;
}

UniformValue ResourceImpl::GetUniform(UINT uiSubresource)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return uiSubresource < m_vUniform.size() ? m_vUniform[uiSubresource] : UniformValue{};
}

bool ResourceImpl::SetUniform(UINT uiSubresource, const std::uint8_t* pPattern, UINT uiSize)
{
    const SubresourceLayout* pLayout = GetLayout(uiSubresource);
    if (pLayout == nullptr || uiSize == 0 || uiSize > UniformValue::MAX_SIZE ||
        pLayout->rowPitch % uiSize != 0 || pLayout->byteSize % uiSize != 0)
    {
        return false;
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    UniformValue& uniform = m_vUniform[uiSubresource];
    std::memcpy(uniform.bytes, pPattern, uiSize);
    uniform.size = uiSize;
    return true;
}

std::size_t ResourceImpl::GetMemoryBytes()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    std::size_t uiBytes = 0;
    for (const ByteBuffer& data : m_vData)
        uiBytes += data.size();
    return uiBytes;
}

bool ResourceImpl::IsMapped(UINT uiSubresource) const
{
    return uiSubresource < m_vMapped.size() && m_vMapped[uiSubresource];
}

bool ResourceImpl::IsAnyMapped() const
{
    for (const bool bMapped : m_vMapped)
        if (bMapped)
            return true;
    return false;
}

void ResourceImpl::SetMapped(UINT uiSubresource, bool bMapped)
{
    if (m_vMapped.size() < m_vLayouts.size())
        m_vMapped.resize(m_vLayouts.size(), false);
    if (uiSubresource < m_vMapped.size())
        m_vMapped[uiSubresource] = bMapped;
}

ResourceImpl* ResourceImpl::From(ID3D11Resource* pResource)
{
    return pResource != nullptr ? dynamic_cast<ResourceImpl*>(pResource) : nullptr;
}

HRESULT ResourceImpl::InitStorage(const ResourceShape& shape, const D3D11_SUBRESOURCE_DATA* pInitialData)
{
    m_shape = shape;
    std::vector<SubresourceLayout> vLayouts;
    std::uint64_t uiTotal = 0;
    const UINT uiMips = shape.dimension == D3D11_RESOURCE_DIMENSION_BUFFER ? 1 : shape.mipLevels;
    const UINT uiSlices = shape.dimension == D3D11_RESOURCE_DIMENSION_BUFFER ? 1 : shape.arraySize;
    try
    {
        vLayouts.reserve(static_cast<std::size_t>(uiMips) * uiSlices);
        for (UINT uiSlice = 0; uiSlice < uiSlices; ++uiSlice)
        {
            for (UINT uiMip = 0; uiMip < uiMips; ++uiMip)
            {
                SubresourceLayout layout;
                if (shape.dimension == D3D11_RESOURCE_DIMENSION_BUFFER)
                {
                    layout.width = shape.width;
                    layout.height = 1;
                    layout.depth = 1;
                    layout.rowPitch = shape.width;
                    layout.rowCount = 1;
                }
                else
                {
                    layout.width = MipSide(shape.width, uiMip);
                    layout.height = MipSide(shape.height, uiMip);
                    layout.depth = MipSide(shape.depth, uiMip);
                    UINT uiRowPitch = 0;
                    if (!GetSurfacePitch(shape.format, layout.width, layout.height, &uiRowPitch,
                                         &layout.rowCount))
                    {
                        return E_INVALIDARG;
                    }
                    const std::uint64_t uiSampledPitch = std::uint64_t{uiRowPitch} * shape.sampleCount;
                    if (uiSampledPitch > MAX_RESOURCE_BYTES)
                        return E_OUTOFMEMORY;
                    layout.rowPitch = static_cast<UINT>(uiSampledPitch);
                }
                const std::uint64_t uiDepthPitch = std::uint64_t{layout.rowPitch} * layout.rowCount;
                const std::uint64_t uiSize = uiDepthPitch * layout.depth;
                uiTotal += uiSize;
                if (uiDepthPitch > MAX_RESOURCE_BYTES || uiTotal > MAX_RESOURCE_BYTES)
                    return E_OUTOFMEMORY;
                layout.depthPitch = static_cast<UINT>(uiDepthPitch);
                layout.byteSize = static_cast<std::size_t>(uiSize);
                vLayouts.push_back(layout);
            }
        }

        if (pInitialData != nullptr)
        {
            for (std::size_t i = 0; i < vLayouts.size(); ++i)
            {
                const D3D11_SUBRESOURCE_DATA& init = pInitialData[i];
                const SubresourceLayout& layout = vLayouts[i];
                if (init.pSysMem == nullptr || (layout.rowCount > 1 && init.SysMemPitch < layout.rowPitch) ||
                    (layout.depth > 1 &&
                     std::uint64_t{init.SysMemSlicePitch} <
                         std::uint64_t{init.SysMemPitch} * (layout.rowCount - 1) + layout.rowPitch))
                {
                    return E_INVALIDARG;
                }
            }
        }

        std::vector<ByteBuffer> vData(vLayouts.size());
        // Without initial data every subresource is zeros, kept as a uniform value.
        UniformValue zero;
        zero.size = pInitialData == nullptr ? 1 : 0;
        std::vector<UniformValue> vUniform(vLayouts.size(), zero);
        for (std::size_t i = 0; i < vLayouts.size(); ++i)
        {
            const SubresourceLayout& layout = vLayouts[i];
            if (pInitialData == nullptr)
                continue;
            vData[i].resize(layout.byteSize); // every byte is written below
            const auto* pSource = static_cast<const std::uint8_t*>(pInitialData[i].pSysMem);
            const bool bContiguous =
                (layout.rowCount <= 1 || pInitialData[i].SysMemPitch == layout.rowPitch) &&
                (layout.depth <= 1 || pInitialData[i].SysMemSlicePitch == layout.depthPitch);
            if (bContiguous)
            {
                std::memcpy(vData[i].data(), pSource, layout.byteSize);
                continue;
            }
            for (UINT z = 0; z < layout.depth; ++z)
            {
                for (UINT uiRow = 0; uiRow < layout.rowCount; ++uiRow)
                {
                    const std::uint8_t* pRow = pSource + std::size_t{z} * pInitialData[i].SysMemSlicePitch +
                                               std::size_t{uiRow} * pInitialData[i].SysMemPitch;
                    std::memcpy(vData[i].data() + std::size_t{z} * layout.depthPitch +
                                    std::size_t{uiRow} * layout.rowPitch,
                                pRow, layout.rowPitch);
                }
            }
        }
        m_vLayouts.swap(vLayouts);
        m_vData.swap(vData);
        m_vUniform.swap(vUniform);
    }
    catch (const std::bad_alloc&)
    {
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

Buffer::Buffer() : ComObject<ID3D11Buffer>("ID3D11Buffer")
{
}

HRESULT Buffer::Create(const D3D11_BUFFER_DESC* pDesc, const D3D11_SUBRESOURCE_DATA* pInitialData,
                       Buffer** ppOut)
{
    if (pDesc == nullptr || pDesc->ByteWidth == 0)
        return E_INVALIDARG;
    ResourceShape shape;
    shape.dimension = D3D11_RESOURCE_DIMENSION_BUFFER;
    shape.width = pDesc->ByteWidth;
    shape.usage = pDesc->Usage;
    shape.bindFlags = pDesc->BindFlags;
    shape.cpuAccessFlags = pDesc->CPUAccessFlags;
    shape.miscFlags = pDesc->MiscFlags;
    shape.structureByteStride = pDesc->StructureByteStride;
    if (FAILED(ValidateUsage(shape, pInitialData != nullptr)) ||
        (shape.bindFlags & (D3D11_BIND_RENDER_TARGET | D3D11_BIND_DEPTH_STENCIL)) != 0)
    {
        return E_INVALIDARG;
    }
    if ((shape.bindFlags & D3D11_BIND_CONSTANT_BUFFER) != 0 &&
        (shape.bindFlags != D3D11_BIND_CONSTANT_BUFFER || shape.width % 16 != 0 ||
         shape.width > D3D11_REQ_CONSTANT_BUFFER_ELEMENT_COUNT * 16))
    {
        return E_INVALIDARG;
    }
    const bool bStructured = (shape.miscFlags & D3D11_RESOURCE_MISC_BUFFER_STRUCTURED) != 0;
    const bool bRaw = (shape.miscFlags & D3D11_RESOURCE_MISC_BUFFER_ALLOW_RAW_VIEWS) != 0;
    if (bStructured && (bRaw || shape.structureByteStride == 0 || shape.structureByteStride % 4 != 0 ||
                        shape.structureByteStride > 2048 || shape.width % shape.structureByteStride != 0))
    {
        return E_INVALIDARG;
    }
    if (bRaw && shape.width % 4 != 0)
        return E_INVALIDARG;

    Buffer* pBuffer = nullptr;
    try
    {
        pBuffer = new Buffer();
    }
    catch (const std::bad_alloc&)
    {
        return E_OUTOFMEMORY;
    }
    pBuffer->m_desc = *pDesc;
    return Finish(pBuffer, pBuffer->InitStorage(shape, pInitialData), ppOut);
}

void Buffer::GetType(D3D11_RESOURCE_DIMENSION* pResourceDimension)
{
    if (pResourceDimension != nullptr)
        *pResourceDimension = D3D11_RESOURCE_DIMENSION_BUFFER;
}

void Buffer::GetDesc(D3D11_BUFFER_DESC* pDesc)
{
    if (pDesc != nullptr)
        *pDesc = m_desc;
}

bool Buffer::Implements(REFIID riid) const
{
    return IsEqualIID(riid, IID_ID3D11Buffer) || IsEqualIID(riid, IID_ID3D11Resource) ||
           IsEqualIID(riid, IID_ID3D11DeviceChild) || IsEqualIID(riid, IID_IUnknown);
}

Texture1D::Texture1D() : ComObject<ID3D11Texture1D>("ID3D11Texture1D")
{
}

HRESULT Texture1D::Create(const D3D11_TEXTURE1D_DESC* pDesc, const D3D11_SUBRESOURCE_DATA* pInitialData,
                          Texture1D** ppOut)
{
    if (pDesc == nullptr)
        return E_INVALIDARG;
    ResourceShape shape;
    shape.dimension = D3D11_RESOURCE_DIMENSION_TEXTURE1D;
    shape.format = pDesc->Format;
    shape.width = pDesc->Width;
    shape.mipLevels = pDesc->MipLevels == 0 ? FullMipCount(pDesc->Width) : pDesc->MipLevels;
    shape.arraySize = pDesc->ArraySize;
    shape.usage = pDesc->Usage;
    shape.bindFlags = pDesc->BindFlags;
    shape.cpuAccessFlags = pDesc->CPUAccessFlags;
    shape.miscFlags = pDesc->MiscFlags;
    const HRESULT hr = ValidateTexture(shape, pInitialData != nullptr, D3D11_REQ_TEXTURE1D_U_DIMENSION,
                                       D3D11_REQ_TEXTURE1D_ARRAY_AXIS_DIMENSION);
    if (FAILED(hr))
        return hr;
    Texture1D* pTexture = nullptr;
    try
    {
        pTexture = new Texture1D();
    }
    catch (const std::bad_alloc&)
    {
        return E_OUTOFMEMORY;
    }
    pTexture->m_desc = *pDesc;
    pTexture->m_desc.MipLevels = shape.mipLevels;
    return Finish(pTexture, pTexture->InitStorage(shape, pInitialData), ppOut);
}

void Texture1D::GetType(D3D11_RESOURCE_DIMENSION* pResourceDimension)
{
    if (pResourceDimension != nullptr)
        *pResourceDimension = D3D11_RESOURCE_DIMENSION_TEXTURE1D;
}

void Texture1D::GetDesc(D3D11_TEXTURE1D_DESC* pDesc)
{
    if (pDesc != nullptr)
        *pDesc = m_desc;
}

bool Texture1D::Implements(REFIID riid) const
{
    return IsEqualIID(riid, IID_ID3D11Texture1D) || IsEqualIID(riid, IID_ID3D11Resource) ||
           IsEqualIID(riid, IID_ID3D11DeviceChild) || IsEqualIID(riid, IID_IUnknown);
}

Texture2D::Texture2D() : ComObject<ID3D11Texture2D>("ID3D11Texture2D")
{
}

HRESULT Texture2D::Create(const D3D11_TEXTURE2D_DESC* pDesc, const D3D11_SUBRESOURCE_DATA* pInitialData,
                          Texture2D** ppOut)
{
    if (pDesc == nullptr)
        return E_INVALIDARG;
    ResourceShape shape;
    shape.dimension = D3D11_RESOURCE_DIMENSION_TEXTURE2D;
    shape.format = pDesc->Format;
    shape.width = pDesc->Width;
    shape.height = pDesc->Height;
    shape.mipLevels = pDesc->MipLevels == 0
                          ? FullMipCount(pDesc->Width > pDesc->Height ? pDesc->Width : pDesc->Height)
                          : pDesc->MipLevels;
    shape.arraySize = pDesc->ArraySize;
    shape.sampleCount = pDesc->SampleDesc.Count;
    shape.usage = pDesc->Usage;
    shape.bindFlags = pDesc->BindFlags;
    shape.cpuAccessFlags = pDesc->CPUAccessFlags;
    shape.miscFlags = pDesc->MiscFlags;
    if (shape.sampleCount < 1 || shape.sampleCount > D3D11_MAX_MULTISAMPLE_SAMPLE_COUNT)
        return E_INVALIDARG;
    if (shape.sampleCount == 1
            ? pDesc->SampleDesc.Quality != 0
            : pDesc->SampleDesc.Quality >= Runtime::Get().GetQualityLevels(shape.format, shape.sampleCount))
    {
        return E_INVALIDARG;
    }
    const HRESULT hr = ValidateTexture(shape, pInitialData != nullptr, D3D11_REQ_TEXTURE2D_U_OR_V_DIMENSION,
                                       D3D11_REQ_TEXTURE2D_ARRAY_AXIS_DIMENSION);
    if (FAILED(hr))
        return hr;
    Texture2D* pTexture = nullptr;
    try
    {
        pTexture = new Texture2D();
    }
    catch (const std::bad_alloc&)
    {
        return E_OUTOFMEMORY;
    }
    pTexture->m_desc = *pDesc;
    pTexture->m_desc.MipLevels = shape.mipLevels;
    return Finish(pTexture, pTexture->InitStorage(shape, pInitialData), ppOut);
}

void Texture2D::GetType(D3D11_RESOURCE_DIMENSION* pResourceDimension)
{
    if (pResourceDimension != nullptr)
        *pResourceDimension = D3D11_RESOURCE_DIMENSION_TEXTURE2D;
}

void Texture2D::GetDesc(D3D11_TEXTURE2D_DESC* pDesc)
{
    if (pDesc != nullptr)
        *pDesc = m_desc;
}

bool Texture2D::Implements(REFIID riid) const
{
    return IsEqualIID(riid, IID_ID3D11Texture2D) || IsEqualIID(riid, IID_ID3D11Resource) ||
           IsEqualIID(riid, IID_ID3D11DeviceChild) || IsEqualIID(riid, IID_IUnknown);
}

Texture3D::Texture3D() : ComObject<ID3D11Texture3D>("ID3D11Texture3D")
{
}

HRESULT Texture3D::Create(const D3D11_TEXTURE3D_DESC* pDesc, const D3D11_SUBRESOURCE_DATA* pInitialData,
                          Texture3D** ppOut)
{
    if (pDesc == nullptr)
        return E_INVALIDARG;
    ResourceShape shape;
    shape.dimension = D3D11_RESOURCE_DIMENSION_TEXTURE3D;
    shape.format = pDesc->Format;
    shape.width = pDesc->Width;
    shape.height = pDesc->Height;
    shape.depth = pDesc->Depth;
    UINT uiLargest = pDesc->Width > pDesc->Height ? pDesc->Width : pDesc->Height;
    uiLargest = uiLargest > pDesc->Depth ? uiLargest : pDesc->Depth;
    shape.mipLevels = pDesc->MipLevels == 0 ? FullMipCount(uiLargest) : pDesc->MipLevels;
    shape.usage = pDesc->Usage;
    shape.bindFlags = pDesc->BindFlags;
    shape.cpuAccessFlags = pDesc->CPUAccessFlags;
    shape.miscFlags = pDesc->MiscFlags;
    const HRESULT hr =
        ValidateTexture(shape, pInitialData != nullptr, D3D11_REQ_TEXTURE3D_U_V_OR_W_DIMENSION, 1);
    if (FAILED(hr))
        return hr;
    Texture3D* pTexture = nullptr;
    try
    {
        pTexture = new Texture3D();
    }
    catch (const std::bad_alloc&)
    {
        return E_OUTOFMEMORY;
    }
    pTexture->m_desc = *pDesc;
    pTexture->m_desc.MipLevels = shape.mipLevels;
    return Finish(pTexture, pTexture->InitStorage(shape, pInitialData), ppOut);
}

void Texture3D::GetType(D3D11_RESOURCE_DIMENSION* pResourceDimension)
{
    if (pResourceDimension != nullptr)
        *pResourceDimension = D3D11_RESOURCE_DIMENSION_TEXTURE3D;
}

void Texture3D::GetDesc(D3D11_TEXTURE3D_DESC* pDesc)
{
    if (pDesc != nullptr)
        *pDesc = m_desc;
}

bool Texture3D::Implements(REFIID riid) const
{
    return IsEqualIID(riid, IID_ID3D11Texture3D) || IsEqualIID(riid, IID_ID3D11Resource) ||
           IsEqualIID(riid, IID_ID3D11DeviceChild) || IsEqualIID(riid, IID_IUnknown);
}

} // namespace d3d11_internal
