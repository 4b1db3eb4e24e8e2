#pragma once
// Shared by the Direct3D stand-ins, never by engine code: the members of the blend, depth-stencil
// and rasterizer blocks of an effect, the description fields of those states under the names an
// effect file gives them, with the kind of value each takes. The effects stand-in reads a block's
// members through this table when it makes the states; the HLSL compiler stand-in checks each
// member of such a block against it, so a member compiles exactly when the effects read it as
// written.

#include <cstdint>
#include <span>
#include <string_view>

namespace d3d11_internal
{

// The kinds of state block the effects read member by member.
enum class StateBlockType
{
    Blend,
    DepthStencil,
    Rasterizer,
};

// The kind of value a member takes, in the record's text of it. Where an integer is taken, so is a
// float of a whole value without an exponent ("1.0"), which the effects read up to its dot.
enum class StateValueKind
{
    Bool,  // one of the member's names (TRUE, FALSE) in any case, or an integer: not 0
    Enum,  // one of the member's names, in any case
    Mask,  // an integer without a sign, from 0 to the member's MaxMask
    Int32, // an integer after at most one sign, within 32 bits
    Float, // a numeric constant after at most one sign, within the range of a float
};

// Every member, one for each description field it sets.
enum class StateMemberId
{
    AlphaToCoverageEnable,
    BlendEnable,
    SrcBlend,
    DestBlend,
    BlendOp,
    SrcBlendAlpha,
    DestBlendAlpha,
    BlendOpAlpha,
    RenderTargetWriteMask,
    DepthEnable,
    DepthWriteMask,
    DepthFunc,
    StencilEnable,
    StencilReadMask,
    StencilWriteMask,
    FrontFaceStencilFail,
    FrontFaceStencilDepthFail,
    FrontFaceStencilPass,
    FrontFaceStencilFunc,
    BackFaceStencilFail,
    BackFaceStencilDepthFail,
    BackFaceStencilPass,
    BackFaceStencilFunc,
    FillMode,
    CullMode,
    FrontCounterClockwise,
    DepthBias,
    DepthBiasClamp,
    SlopeScaledDepthBias,
    DepthClipEnable,
    ScissorEnable,
    MultisampleEnable,
    AntialiasedLineEnable,
};

// One name of an enum as an effect writes it, and the value of the Direct3D enum it stands for.
struct StateEnumName
{
    const char* Name;
    int Value;
};

struct StateMember
{
    const char* Name; // as an effect file writes it
    StateMemberId Id;
    StateValueKind Kind;
    std::span<const StateEnumName> Names; // an Enum member's names in their documented order; TRUE
                                          // and FALSE for a Bool member
    std::uint32_t MaxMask;                // the largest value a Mask member takes
    bool PerTarget;                       // takes a render target's index: "BlendEnable[1]"
};

// Render targets a blend state describes; a per-target member without an index sets the first.
constexpr std::uint32_t STATE_RENDER_TARGETS = 8;

// The kind of block a variable of that type declares, false for the types whose blocks the
// effects do not read (SamplerState, ...).
bool FindStateBlockType(std::string_view type, StateBlockType* pType);
// "BlendState", "DepthStencilState", "RasterizerState".
const char* StateBlockTypeName(StateBlockType type);

// The member of that name, matched in any case as the effects match it; null for none.
const StateMember* FindStateMember(StateBlockType type, std::string_view name);
// The member's name that matches the text in any case; null for none (and for a member that
// takes no names: a mask or a number).
const StateEnumName* FindStateEnumName(const StateMember& member, std::string_view text);

} // namespace d3d11_internal
