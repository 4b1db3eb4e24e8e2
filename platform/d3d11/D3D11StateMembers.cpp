#include "platform/d3d11/D3D11StateMembers.h"

#include "platform/d3d11/d3d11.h"

#include <cctype>
#include <cstddef>

namespace d3d11_internal
{

namespace
{

constexpr StateEnumName BOOLS[] = {
    {"TRUE", TRUE},
    {"FALSE", FALSE},
};
constexpr StateEnumName BLENDS[] = {
    {"ZERO", D3D11_BLEND_ZERO},
    {"ONE", D3D11_BLEND_ONE},
    {"SRC_COLOR", D3D11_BLEND_SRC_COLOR},
    {"INV_SRC_COLOR", D3D11_BLEND_INV_SRC_COLOR},
    {"SRC_ALPHA", D3D11_BLEND_SRC_ALPHA},
    {"INV_SRC_ALPHA", D3D11_BLEND_INV_SRC_ALPHA},
    {"DEST_ALPHA", D3D11_BLEND_DEST_ALPHA},
    {"INV_DEST_ALPHA", D3D11_BLEND_INV_DEST_ALPHA},
    {"DEST_COLOR", D3D11_BLEND_DEST_COLOR},
    {"INV_DEST_COLOR", D3D11_BLEND_INV_DEST_COLOR},
    {"SRC_ALPHA_SAT", D3D11_BLEND_SRC_ALPHA_SAT},
    {"BLEND_FACTOR", D3D11_BLEND_BLEND_FACTOR},
    {"INV_BLEND_FACTOR", D3D11_BLEND_INV_BLEND_FACTOR},
    {"SRC1_COLOR", D3D11_BLEND_SRC1_COLOR},
    {"INV_SRC1_COLOR", D3D11_BLEND_INV_SRC1_COLOR},
    {"SRC1_ALPHA", D3D11_BLEND_SRC1_ALPHA},
    {"INV_SRC1_ALPHA", D3D11_BLEND_INV_SRC1_ALPHA},
};
constexpr StateEnumName BLEND_OPS[] = {
    {"ADD", D3D11_BLEND_OP_ADD},
    {"SUBTRACT", D3D11_BLEND_OP_SUBTRACT},
    {"REV_SUBTRACT", D3D11_BLEND_OP_REV_SUBTRACT},
    {"MIN", D3D11_BLEND_OP_MIN},
    {"MAX", D3D11_BLEND_OP_MAX},
};
constexpr StateEnumName COMPARISONS[] = {
    {"NEVER", D3D11_COMPARISON_NEVER},
    {"LESS", D3D11_COMPARISON_LESS},
    {"EQUAL", D3D11_COMPARISON_EQUAL},
    {"LESS_EQUAL", D3D11_COMPARISON_LESS_EQUAL},
    {"GREATER", D3D11_COMPARISON_GREATER},
    {"NOT_EQUAL", D3D11_COMPARISON_NOT_EQUAL},
    {"GREATER_EQUAL", D3D11_COMPARISON_GREATER_EQUAL},
    {"ALWAYS", D3D11_COMPARISON_ALWAYS},
};
constexpr StateEnumName STENCIL_OPS[] = {
    {"KEEP", D3D11_STENCIL_OP_KEEP},         {"ZERO", D3D11_STENCIL_OP_ZERO},
    {"REPLACE", D3D11_STENCIL_OP_REPLACE},   {"INCR_SAT", D3D11_STENCIL_OP_INCR_SAT},
    {"DECR_SAT", D3D11_STENCIL_OP_DECR_SAT}, {"INVERT", D3D11_STENCIL_OP_INVERT},
    {"INCR", D3D11_STENCIL_OP_INCR},         {"DECR", D3D11_STENCIL_OP_DECR},
};
constexpr StateEnumName DEPTH_WRITE_MASKS[] = {
    {"ZERO", D3D11_DEPTH_WRITE_MASK_ZERO},
    {"ALL", D3D11_DEPTH_WRITE_MASK_ALL},
};
constexpr StateEnumName FILLS[] = {
    {"WIREFRAME", D3D11_FILL_WIREFRAME},
    {"SOLID", D3D11_FILL_SOLID},
};
constexpr StateEnumName CULLS[] = {
    {"NONE", D3D11_CULL_NONE},
    {"FRONT", D3D11_CULL_FRONT},
    {"BACK", D3D11_CULL_BACK},
};

using Id = StateMemberId;
using Kind = StateValueKind;

constexpr StateMember Number(const char* pName, Id id, Kind kind)
{
    return {pName, id, kind, {}, 0, false};
}

constexpr StateMember Flag(const char* pName, Id id, bool bPerTarget = false)
{
    return {pName, id, Kind::Bool, BOOLS, 0, bPerTarget};
}

constexpr StateMember Named(const char* pName, Id id, std::span<const StateEnumName> names,
                            bool bPerTarget = false)
{
    return {pName, id, Kind::Enum, names, 0, bPerTarget};
}

constexpr StateMember Mask(const char* pName, Id id, std::uint32_t uiMax, bool bPerTarget = false)
{
    return {pName, id, Kind::Mask, {}, uiMax, bPerTarget};
}

// The device refuses a render target write mask of more than its four channels. The alpha factors
// take the colour factors' names, and the device, not the compiler, refuses a colour among them
// (SRC_COLOR, SRC1_COLOR, ...) where the target blends.
constexpr StateMember BLEND_MEMBERS[] = {
    Flag("AlphaToCoverageEnable", Id::AlphaToCoverageEnable),
    Flag("BlendEnable", Id::BlendEnable, true),
    Named("SrcBlend", Id::SrcBlend, BLENDS, true),
    Named("DestBlend", Id::DestBlend, BLENDS, true),
    Named("BlendOp", Id::BlendOp, BLEND_OPS, true),
    Named("SrcBlendAlpha", Id::SrcBlendAlpha, BLENDS, true),
    Named("DestBlendAlpha", Id::DestBlendAlpha, BLENDS, true),
    Named("BlendOpAlpha", Id::BlendOpAlpha, BLEND_OPS, true),
    Mask("RenderTargetWriteMask", Id::RenderTargetWriteMask, D3D11_COLOR_WRITE_ENABLE_ALL, true),
};
constexpr StateMember DEPTH_STENCIL_MEMBERS[] = {
    Flag("DepthEnable", Id::DepthEnable),
    Named("DepthWriteMask", Id::DepthWriteMask, DEPTH_WRITE_MASKS),
    Named("DepthFunc", Id::DepthFunc, COMPARISONS),
    Flag("StencilEnable", Id::StencilEnable),
    Mask("StencilReadMask", Id::StencilReadMask, 0xFF),
    Mask("StencilWriteMask", Id::StencilWriteMask, 0xFF),
    Named("FrontFaceStencilFail", Id::FrontFaceStencilFail, STENCIL_OPS),
    Named("FrontFaceStencilDepthFail", Id::FrontFaceStencilDepthFail, STENCIL_OPS),
    Named("FrontFaceStencilPass", Id::FrontFaceStencilPass, STENCIL_OPS),
    Named("FrontFaceStencilFunc", Id::FrontFaceStencilFunc, COMPARISONS),
    Named("BackFaceStencilFail", Id::BackFaceStencilFail, STENCIL_OPS),
    Named("BackFaceStencilDepthFail", Id::BackFaceStencilDepthFail, STENCIL_OPS),
    Named("BackFaceStencilPass", Id::BackFaceStencilPass, STENCIL_OPS),
    Named("BackFaceStencilFunc", Id::BackFaceStencilFunc, COMPARISONS),
};
constexpr StateMember RASTERIZER_MEMBERS[] = {
    Named("FillMode", Id::FillMode, FILLS),
    Named("CullMode", Id::CullMode, CULLS),
    Flag("FrontCounterClockwise", Id::FrontCounterClockwise),
    Number("DepthBias", Id::DepthBias, Kind::Int32),
    Number("DepthBiasClamp", Id::DepthBiasClamp, Kind::Float),
    Number("SlopeScaledDepthBias", Id::SlopeScaledDepthBias, Kind::Float),
    Flag("DepthClipEnable", Id::DepthClipEnable),
    Flag("ScissorEnable", Id::ScissorEnable),
    Flag("MultisampleEnable", Id::MultisampleEnable),
    Flag("AntialiasedLineEnable", Id::AntialiasedLineEnable),
};

struct StateBlock
{
    StateBlockType Type;
    const char* Name;
    std::span<const StateMember> Members;
};

constexpr StateBlock BLOCKS[] = {
    {StateBlockType::Blend, "BlendState", BLEND_MEMBERS},
    {StateBlockType::DepthStencil, "DepthStencilState", DEPTH_STENCIL_MEMBERS},
    {StateBlockType::Rasterizer, "RasterizerState", RASTERIZER_MEMBERS},
};

// BLOCKS is in the order of StateBlockType.
const StateBlock& BlockOf(StateBlockType type)
{
    return BLOCKS[static_cast<std::size_t>(type)];
}

// The effects match member and enum names without regard to case.
bool SameName(std::string_view name, std::string_view text)
{
    if (name.size() != text.size())
        return false;
    for (std::size_t i = 0; i < name.size(); ++i)
        if (std::toupper(static_cast<unsigned char>(name[i])) !=
            std::toupper(static_cast<unsigned char>(text[i])))
            return false;
    return true;
}

} // namespace

bool FindStateBlockType(std::string_view type, StateBlockType* pType)
{
    for (const StateBlock& block : BLOCKS)
        if (type == block.Name)
        {
            *pType = block.Type;
            return true;
        }
    return false;
}

const char* StateBlockTypeName(StateBlockType type)
{
    return BlockOf(type).Name;
}

const StateMember* FindStateMember(StateBlockType type, std::string_view name)
{
    for (const StateMember& member : BlockOf(type).Members)
        if (SameName(member.Name, name))
            return &member;
    return nullptr;
}

const StateEnumName* FindStateEnumName(const StateMember& member, std::string_view text)
{
    for (const StateEnumName& name : member.Names)
        if (SameName(name.Name, text))
            return &name;
    return nullptr;
}

} // namespace d3d11_internal
