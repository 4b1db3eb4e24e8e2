#pragma once
// Direct3D 11 implementation of order-independent transparency. The lists are two pooled buffers
// of the resource manager: w x h x 8 fragments of 12 bytes (structured, with the append counter)
// and w x h list heads of 4 bytes (raw). A pass's first transparent material acquires them,
// clears the heads, binds both as pixel-stage UAVs u4 and u5 beside the bound render targets and
// the back-buffer width at b13; Resolve reads them at t0 and t1 in one full-screen pass and hands
// them back. A cube-map face pass ends with DiscardLists, which hands them back unread, so the
// frame's main pass starts with empty lists.
//
// When the device cannot make the lists at the current size (the fragment pool passes the
// device's per-resource limit at very large sizes), the frame's transparency is skipped: nothing
// is bound, the materials draw without lists, and no resolve runs. The next resize tries again.
//
// Life-cycle operations run on the load job's worker (device and locked caches only) or, on
// resize and shutdown, on the main thread; the rest runs on the main thread with no locks.

#include "platform/d3d11/d3d11.h"
#include "render/device/KR_BufferResourceDescription.h"
#include "render/effects/KR_OITRenderer.h"

#include <cstdint>

struct KR_ShaderProgram;

class KR_OITRendererDX11 : public KR_OITRenderer
{
public:
    static constexpr std::uint32_t INVALID_HANDLE = 0xFFFFFFFFu;
    static constexpr std::uint32_t FRAGMENTS_PER_PIXEL = 8;
    static constexpr std::uint32_t FRAGMENT_STRIDE = 12; // bytes of one fragment record
    static constexpr std::uint32_t HEAD_STRIDE = 4;
    static constexpr std::uint32_t CONSTANT_BUFFER_SIZE = 32;
    static constexpr std::uint32_t CONSTANT_BUFFER_SLOT = 13;
    static constexpr std::uint32_t FIRST_UAV_SLOT = 4;       // fragments; heads follow
    static constexpr std::uint8_t RESOLVE_VERTEX_FORMAT = 1; // positions only

    KR_OITRendererDX11();
    ~KR_OITRendererDX11() override;

    // True.
    bool Initialize() override;
    // The resolve program and layout, the full-screen quad and the constant buffer; false when the
    // constant buffer could not be made.
    bool CreateResources() override;
    // Reads the back-buffer size, fills both list descriptions and makes the pool hold buffers of
    // that size; true (a size the device refuses leaves the lists unavailable until the next call).
    bool CreateSizeDependentResources() override;
    // Releases the quad and the constant buffer and hands back any held list buffer; true.
    bool ReleaseResources() override;
    // True; nothing depends on the size beyond the pool, which the resource manager empties.
    bool ReleaseSizeDependentResources() override;
    // Binds the lists once per pass, keeps the rasterizer state current now, then sets the
    // transparency state; false (nothing changed) when the lists cannot be had this frame.
    bool BeginTransparency() override;
    bool EndTransparency() override;
    // Leaves the rasterizer state of before the open transparency, else the one current on entry.
    bool Resolve() override;
    // Unbinds the lists and hands them back without the full-screen pass.
    bool DiscardLists() override;

    const KR_BufferResourceDescription& GetFragmentBufferDescription() const
    {
        return m_oFragmentBufferDescription;
    }
    const KR_BufferResourceDescription& GetHeadBufferDescription() const { return m_oHeadBufferDescription; }
    std::uint32_t GetFragmentBufferHandle() const { return m_uiFragmentBuffer; }
    std::uint32_t GetHeadBufferHandle() const { return m_uiHeadBuffer; }
    // False when the device could not make the lists at the current size.
    bool AreListsAvailable() const { return m_bListsAvailable; }
    ID3D11Buffer* GetConstantBuffer() const { return m_pConstantBuffer; }

private:
    // Acquires, clears and binds the lists with the constants; false (nothing held) on failure.
    bool BindLists();
    void ReleaseListBuffers();
    // Keeps the current rasterizer state for RestoreSavedRasterizerState; while a transparency is
    // open the one kept at its begin stays.
    void SaveRasterizerState(ID3D11DeviceContext* pContext);
    // Sets the state kept by BeginTransparency (the device default when none) and lets it go.
    void RestoreSavedRasterizerState(ID3D11DeviceContext* pContext);

    KR_BufferResourceDescription m_oFragmentBufferDescription;
    KR_BufferResourceDescription m_oHeadBufferDescription;
    std::uint32_t m_uiFragmentBuffer = INVALID_HANDLE; // held from the resource manager while bound
    std::uint32_t m_uiHeadBuffer = INVALID_HANDLE;
    ID3D11RasterizerState* m_pSavedRasterizerState = nullptr;        // one reference while active
    ID3D11RasterizerState* m_pTransparencyRasterizerState = nullptr; // not owned: the state cache's
    bool m_bMultisampled = false;
    bool m_bListsBound = false;
    bool m_bTransparencyActive = false;
    bool m_bListsAvailable = false;
    ID3D11InputLayout* m_pResolveInputLayout = nullptr; // not owned: the resource manager's
    ID3D11Buffer* m_pFullScreenQuadVB = nullptr;        // owned
    KR_ShaderProgram* m_pResolveProgram = nullptr;      // not owned: the program cache's
    std::uint8_t m_aConstantData[CONSTANT_BUFFER_SIZE] = {};
    ID3D11Buffer* m_pConstantBuffer = nullptr; // owned
};
