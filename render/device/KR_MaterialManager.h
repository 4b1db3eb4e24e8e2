#pragma once
// The material manager: reads the material library (an XML file named by the application factory),
// keeps every material by id, turns a material, a vertex format and a render pass into a shader
// program with its render states, and hands a material's textures and parameters to the shader
// core manager before each draw. The engine singleton owns it.
//
// The library is loaded by the load job and reloaded on the main thread; the manager does not lock
// around its materials, so a reload must not overlap a draw. The permutation builders run on
// parallel model-load workers: they only read the materials, and the "PS_SPECIAL" value texts they
// hand to the program cache live in a store of their own, locked and never shrinking. Applying a
// material runs on the main thread.
//
// Programs are cached by their properties, and the colour pass of an additive and of an opaque
// material can share one program (additive blending adds no macro). So the states a material is
// drawn with are chosen from that material when it is applied; the cached program itself is not
// changed there.

#include "framework/core/KB_GrowingArray.h"
#include "framework/core/KB_String.h"
#include "platform/d3d11/d3d11.h"
#include "render/device/KR_Material.h"
#include "render/device/KR_RenderPass.h"
#include "render/device/KR_SimpleShaderType.h"

#include <cstdint>
#include <map>
#include <mutex>
#include <set>
#include <string>

class KR_ShaderProperties;
class TiXmlElement;
struct KR_ShaderProgram;

class KR_MaterialManager
{
public:
    // A callback before or after a material is applied, with the id applied.
    using ApplyCallback = void (*)(KB_String* pMaterialId);

    static constexpr const char* DEBUG_MATERIAL_ID = "Debug_Cubemap_Influence";
    // Channel elements with a higher index are ignored: the list is padded up to the index.
    static constexpr std::uint32_t MAX_CHANNEL_INDEX = 64;

    KR_MaterialManager() = default;
    virtual ~KR_MaterialManager() = default;

    KR_MaterialManager(const KR_MaterialManager&) = delete;
    KR_MaterialManager& operator=(const KR_MaterialManager&) = delete;

    // Empties the map (and the debug programs) and reads the factory's library through the file
    // repositories. False when the file is missing, does not parse or its root is not
    // "material_library"; true otherwise, even when single materials were dropped.
    bool LoadMaterialLibrary();
    // Reads one "material" (or derived) element over the material and stores a copy under its id;
    // false, nothing stored, without "id".
    bool ParseMaterial(const TiXmlElement* pElement, KR_Material& material);
    // A copy of the material named by "baseMaterial" (already in the map), read over by the
    // element; false without a base in the map or without "id".
    bool ParseDerivedMaterial(const TiXmlElement* pElement);
    // Null when no material has the id.
    const KR_Material* GetMaterial(const KB_String& sId) const;
    std::uint32_t GetNumMaterials() const { return static_cast<std::uint32_t>(m_mapMaterials.size()); }

    void SetUseDebugMaterial(bool bUse) { m_bUseDebugMaterial = bUse; }
    void ToggleUseDebugMaterial() { m_bUseDebugMaterial = !m_bUseDebugMaterial; }
    bool GetUseDebugMaterial() const { return m_bUseDebugMaterial; }
    void SetPostApplyCallback(ApplyCallback pCallback) { m_pPostApplyCallback = pCallback; }
    void SetPreApplyCallback(ApplyCallback pCallback) { m_pPreApplyCallback = pCallback; }

    // Fresh properties with the vertex stage ("Assets/Shader/KR_VertexShader.hlsl", "MainVS") and,
    // in this order, "VS_IN_NORMAL", "VS_IN_TANGENT", "VS_IN_UV0" to "VS_IN_UV3" and
    // "VS_IN_SKINNED" for the bits 1 to 7 of the vertex format that are set.
    static void BuildVertexShaderProperties(KR_ShaderProperties& properties,
                                            const std::uint8_t* pVertexFormat);
    // The material's program for the pass and format from the resource manager, its states set from
    // the material; null when no material has the id or no program could be had. Any thread.
    KR_ShaderProgram* BuildMaterialShaderProperties(KR_RenderPass pass, const KB_String& sMaterialId,
                                                    const std::uint8_t* pVertexFormat, bool bInstanced);
    // The properties alone (no program asked for); false when no material has the id.
    bool BuildMaterialShaderProperties(KR_ShaderProperties& properties, KR_RenderPass pass,
                                       const KB_String& sMaterialId, const std::uint8_t* pVertexFormat,
                                       bool bInstanced);
    KR_ShaderProgram* BuildSimpleShaderProperties(KR_SimpleShaderType type, const std::uint8_t* pVertexFormat,
                                                  bool bPassThrough);
    static void BuildSimpleShaderProperties(KR_ShaderProperties& properties, KR_SimpleShaderType type,
                                            const std::uint8_t* pVertexFormat, bool bPassThrough);
    KR_ShaderProgram* BuildOITShaderProperties(const std::uint8_t* pVertexFormat);
    static void BuildOITShaderProperties(KR_ShaderProperties& properties, const std::uint8_t* pVertexFormat);

    // Makes the three blend, three depth-stencil and two rasterizer states through the resource
    // manager's caches; true (a state the device refuses stays null: the device default).
    bool CreateMaterialShaders();
    ID3D11BlendState* GetBlendState(std::uint32_t uiIndex) const;
    ID3D11DepthStencilState* GetDepthStencilState(std::uint32_t uiIndex) const;
    ID3D11RasterizerState* GetRasterizerState(std::uint32_t uiIndex) const;

    // Ends the previous material's transparency, then binds the program: the shadow pass as given;
    // the colour pass after the material's textures and parameters were handed to the shader core
    // manager, with the material's states. An unknown id binds the given program and leaves the
    // textures; a null program unbinds. With the debug flag on, the debug material and its program
    // for the format stand in, when the library has it and its program exists. Main thread.
    void ApplyMaterial(KR_RenderPass pass, const KB_String& sMaterialId, std::uint8_t uiVertexFormat,
                       KR_ShaderProgram* pProgram, bool bInstanced);

private:
    // Indices of the states a material draws with.
    struct StateChoice
    {
        std::uint32_t uiBlend = 0;
        std::uint32_t uiDepthStencil = 1;
        std::uint32_t uiRasterizer = 0;
    };

    static StateChoice ChooseStates(const KR_Material& material);
    void SetStates(KR_ShaderProgram* pProgram, const StateChoice& choice) const;
    // The interned decimal text of the value, alive as long as the manager.
    const char* GetSpecialText(std::uint32_t uiSpecial);
    KR_ShaderProgram* GetDebugProgram(KR_RenderPass pass, std::uint8_t uiVertexFormat, bool bInstanced);
    // *pCopy := *pProgram under the states lock; pCopy, or null for a null program.
    const KR_ShaderProgram* CopyProgram(const KR_ShaderProgram* pProgram, KR_ShaderProgram* pCopy) const;

    std::map<KB_String, KR_Material> m_mapMaterials;
    KB_String m_sLibraryPath; // of the last load
    bool m_bUseDebugMaterial = false;
    const KB_String m_sDebugMaterialId{DEBUG_MATERIAL_ID};
    KB_String m_sCallbackId; // the id handed to the apply callbacks; its buffer is reused
    ApplyCallback m_pPostApplyCallback = nullptr;
    ApplyCallback m_pPreApplyCallback = nullptr;
    ID3D11BlendState* m_apBlendStates[3] = {};               // not owned: the resource manager's
    ID3D11DepthStencilState* m_apDepthStencilStates[3] = {}; // not owned
    ID3D11RasterizerState* m_apRasterizerStates[2] = {};     // not owned
    // The debug material's programs per vertex format, plain and instanced; built on demand.
    KR_ShaderProgram* m_apDebugPrograms[256][2] = {}; // not owned
    bool m_abDebugProgramBuilt[256][2] = {};
    // Texts of the "PS_SPECIAL" values handed out so far; node-based, so a text never moves.
    std::set<std::string> m_setSpecialTexts;
    std::mutex m_oSpecialMutex;
    // Guards the states every builder writes onto cached programs (model loads on several workers
    // and the load job share them) and the copy of a program each draw binds.
    mutable std::mutex m_oProgramStatesMutex;
};
