#pragma once
// Internal to the HLSL compiler stand-in: the members of the blocks the effects read (blend,
// depth-stencil and rasterizer states), checked as the effects read them. The record keeps a
// member as the text of its name, index and value, and the effects read that text through the
// table of state members (platform/d3d11/D3D11StateMembers.h) when they make the states; a member
// is accepted here only when the table holds it and its index and value are in the forms the
// effects read as written, so a block that compiles loads with the state it writes.

#include "platform/d3d11/D3D11StateMembers.h"

#include <string>

namespace d3dcompiler_internal
{

struct StateMemberFault
{
    enum class Part
    {
        Name,
        Index,
        Value,
    };
    Part At = Part::Name; // where the error is
    std::string Text;
};

// The member "name[index] = value;" (pIndex null for one without an index) of the block sBlock,
// of the type given, its index and value as the record keeps them. Accepted:
//   a member of the type, its name in any case;
//   an index on a member of a render target only, an integer constant from 0 to 7;
//   a value of the member's kind: one of its names in any case; for a bool also an integer
//   constant after at most one sign; for a mask an integer constant without a sign of at most
//   the member's largest; for the depth bias an integer constant after at most one sign within
//   32 bits; for a float a numeric constant after at most one sign, decimal or hexadecimal (an
//   octal one the effects would read as decimal), within the range of a float, a half constant
//   only where half precision holds its value. Where a bool, a mask or the depth bias takes an
//   integer constant, it also takes a float of that whole value the effects read as the same
//   integer (ReadsAsWholeFloat: "1.0", not "1e1").
// False, with the error, which names the member and the block, for anything else.
bool CheckStateMember(d3d11_internal::StateBlockType type, const std::string& sBlock,
                      const std::string& sName, const std::string* pIndex, const std::string& sValue,
                      StateMemberFault* pError);

} // namespace d3dcompiler_internal
