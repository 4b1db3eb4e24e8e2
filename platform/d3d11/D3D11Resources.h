#pragma once
// Internal to the Direct3D 11 stand-in: buffers and textures. Each keeps its description and
// the bytes of each subresource, real or recorded as a uniform value.
//
// Lazy memory: a subresource is either real (a block of CPU memory holding its bytes) or
// uniform (every byte i is pattern[i % size] for one element pattern of 1 to 16 bytes, with no
// memory behind it). A resource made without initial data starts uniform at zero; a clear that
// covers a whole subresource records its value instead of filling; a whole copy, a resolve or
// mip generation from a uniform source records the value the filled bytes would have. Anything
// that needs the bytes (a copy from a source that is not uniform, a partial clear, copy or
// update, Map, the texture writers and readers) asks GetData, which allocates and fills the
// memory from the pattern first; ReadData gives the bytes without keeping them. Once allocated,
// memory stays with the resource (a later whole clear only marks it uniform), so pointers from
// Map stay valid. Each resource locks its own state: GetData, ReadData and the uniform calls
// are thread-safe; the bytes themselves follow the context's one-thread rule.

#include "platform/d3d11/D3D11Runtime.h"
#include "platform/d3d11/d3d11.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

namespace d3d11_internal
{

// Leaves new elements uninitialised, so memory that is about to be overwritten whole (initial
// data, decoded images) is not cleared first.
template <class T>
struct UninitializedAllocator : std::allocator<T>
{
    template <class U>
    struct rebind
    {
        using other = UninitializedAllocator<U>;
    };
    UninitializedAllocator() = default;
    template <class U>
    UninitializedAllocator(const UninitializedAllocator<U>&) noexcept
    {
    }
    template <class U>
    void construct(U* p) noexcept
    {
        ::new (static_cast<void*>(p)) U;
    }
    template <class U, class... Args>
    void construct(U* p, Args&&... args)
    {
        ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }
};

using ByteBuffer = std::vector<std::uint8_t, UninitializedAllocator<std::uint8_t>>;

// What views and context calls need to know of any resource.
struct ResourceShape
{
    D3D11_RESOURCE_DIMENSION dimension = D3D11_RESOURCE_DIMENSION_UNKNOWN;
    DXGI_FORMAT format = DXGI_FORMAT_UNKNOWN; // DXGI_FORMAT_UNKNOWN for buffers
    UINT width = 1;                           // bytes for buffers
    UINT height = 1;
    UINT depth = 1;
    UINT mipLevels = 1;
    UINT arraySize = 1;
    UINT sampleCount = 1;
    UINT usage = D3D11_USAGE_DEFAULT;
    UINT bindFlags = 0;
    UINT cpuAccessFlags = 0;
    UINT miscFlags = 0;
    UINT structureByteStride = 0;
};

// Size and pitches of one subresource. A multisampled pixel holds its samples one after another,
// so its row pitch is sampleCount times that of one sample.
struct SubresourceLayout
{
    UINT width = 0;
    UINT height = 0;
    UINT depth = 0;
    UINT rowPitch = 0;
    UINT rowCount = 0;   // rows of blocks
    UINT depthPitch = 0; // rowPitch * rowCount
    std::size_t byteSize = 0;
};

// The element pattern of a uniform subresource; size 0 when the subresource is not uniform.
struct UniformValue
{
    static constexpr UINT MAX_SIZE = 16;
    std::uint8_t bytes[MAX_SIZE] = {};
    UINT size = 0;

    bool operator==(const UniformValue& other) const;
    // The pattern repeated to uiElementSize bytes (a multiple of size, at most MAX_SIZE); false
    // when it does not tile that element.
    bool Expand(UINT uiElementSize, std::uint8_t* pOut) const;
};

// Memory and shape shared by every resource class; reached from an interface with From.
class ResourceImpl
{
public:
    ResourceImpl(const ResourceImpl&) = delete;
    ResourceImpl& operator=(const ResourceImpl&) = delete;

    const ResourceShape& GetShape() const { return m_shape; }
    UINT GetSubresourceCount() const { return static_cast<UINT>(m_vLayouts.size()); }
    // Null when the index is out of range.
    const SubresourceLayout* GetLayout(UINT uiSubresource) const;
    // The subresource's real bytes, allocated and filled from its uniform value first when it
    // has none; null for an index out of range or when the memory cannot be had.
    std::uint8_t* GetData(UINT uiSubresource);
    // As GetData for a caller that writes every byte: a uniform value is dropped unfilled.
    std::uint8_t* GetDataForOverwrite(UINT uiSubresource);
    // Copies the subresource's byteSize bytes to pOut without keeping them; false when out of range.
    bool ReadData(UINT uiSubresource, std::uint8_t* pOut);
    // The subresource's uniform value (size 0 when it is real or out of range).
    UniformValue GetUniform(UINT uiSubresource);
    // Records that every byte of the subresource is now the pattern's; false (nothing changed)
    // when the pattern cannot tile its rows (0 or more than 16 bytes, pitches not a multiple).
    bool SetUniform(UINT uiSubresource, const std::uint8_t* pPattern, UINT uiSize);
    // Bytes of memory held now, over every subresource.
    std::size_t GetMemoryBytes();
    // Map state of a subresource, kept for the immediate context (one thread).
    bool IsMapped(UINT uiSubresource) const;
    bool IsAnyMapped() const;
    void SetMapped(UINT uiSubresource, bool bMapped);

    // Null for null or for a resource that is not ours.
    static ResourceImpl* From(ID3D11Resource* pResource);

protected:
    ResourceImpl() = default;
    virtual ~ResourceImpl() = default;

    // Computes the layouts of a validated shape and allocates the memory; E_OUTOFMEMORY when it
    // cannot be had, E_INVALIDARG when initial data is missing or its pitches are too small.
    HRESULT InitStorage(const ResourceShape& shape, const D3D11_SUBRESOURCE_DATA* pInitialData);

private:
    // Real bytes of the subresource, filled from the uniform value when bFill; m_mutex held.
    std::uint8_t* MakeRealLocked(UINT uiSubresource, bool bFill);

    ResourceShape m_shape;
    std::vector<SubresourceLayout> m_vLayouts;
    std::mutex m_mutex;                   // guards m_vData and m_vUniform
    std::vector<ByteBuffer> m_vData;      // empty until the bytes are needed
    std::vector<UniformValue> m_vUniform; // per subresource; size 0 where m_vData holds the bytes
    std::vector<bool> m_vMapped;
};

class Buffer final : public ComObject<ID3D11Buffer>, public ResourceImpl
{
public:
    // Validates the description as the runtime does; *ppOut gets the one reference.
    static HRESULT Create(const D3D11_BUFFER_DESC* pDesc, const D3D11_SUBRESOURCE_DATA* pInitialData,
                          Buffer** ppOut);

    void GetType(D3D11_RESOURCE_DIMENSION* pResourceDimension) override;
    void GetDesc(D3D11_BUFFER_DESC* pDesc) override;

private:
    Buffer();
    bool Implements(REFIID riid) const override;
    D3D11_BUFFER_DESC m_desc{};
};

class Texture1D final : public ComObject<ID3D11Texture1D>, public ResourceImpl
{
public:
    static HRESULT Create(const D3D11_TEXTURE1D_DESC* pDesc, const D3D11_SUBRESOURCE_DATA* pInitialData,
                          Texture1D** ppOut);

    void GetType(D3D11_RESOURCE_DIMENSION* pResourceDimension) override;
    void GetDesc(D3D11_TEXTURE1D_DESC* pDesc) override;

private:
    Texture1D();
    bool Implements(REFIID riid) const override;
    D3D11_TEXTURE1D_DESC m_desc{};
};

class Texture2D final : public ComObject<ID3D11Texture2D>, public ResourceImpl
{
public:
    static HRESULT Create(const D3D11_TEXTURE2D_DESC* pDesc, const D3D11_SUBRESOURCE_DATA* pInitialData,
                          Texture2D** ppOut);

    void GetType(D3D11_RESOURCE_DIMENSION* pResourceDimension) override;
    void GetDesc(D3D11_TEXTURE2D_DESC* pDesc) override;

private:
    Texture2D();
    bool Implements(REFIID riid) const override;
    D3D11_TEXTURE2D_DESC m_desc{};
};

class Texture3D final : public ComObject<ID3D11Texture3D>, public ResourceImpl
{
public:
    static HRESULT Create(const D3D11_TEXTURE3D_DESC* pDesc, const D3D11_SUBRESOURCE_DATA* pInitialData,
                          Texture3D** ppOut);

    void GetType(D3D11_RESOURCE_DIMENSION* pResourceDimension) override;
    void GetDesc(D3D11_TEXTURE3D_DESC* pDesc) override;

private:
    Texture3D();
    bool Implements(REFIID riid) const override;
    D3D11_TEXTURE3D_DESC m_desc{};
};

// Number of levels of a full mip chain for that largest side.
UINT FullMipCount(UINT uiLargestSide);

// Repeats the element pattern over the whole elements of the bytes (a partial last element is
// left as it is).
void FillPattern(std::uint8_t* pData, std::size_t uiBytes, const std::uint8_t* pPattern, UINT uiElementSize);

} // namespace d3d11_internal
