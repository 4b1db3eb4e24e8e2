// Fuzzes the byte forms of the curves: the first byte picks the kind, the rest is its record for
// Deserialize. A record that reads is evaluated, written again with Serialize (into exactly the
// bytes it claims to need, and into one byte less, which must fail) and read back into a fresh
// curve of the same kind.

#include "framework/core/KB_String.h"
#include "fuzz/FuzzCurves.h"
#include "timing/KB_AnimationTriggerInterpolation.h"
#include "timing/KB_CubicBSplineInterpolation.h"
#include "timing/KB_LinearInterpolation.h"
#include "timing/KB_LinearMatrixInterpolation.h"
#include "timing/KB_RotationInterpolation.h"
#include "timing/KB_TrigonometryInterpolation.h"
#include "timing/KU_ConstantValueInterpolation.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace
{

constexpr std::uint8_t NUM_KINDS = 7;

// Unregistered curves: no engine singleton exists in this target.
std::unique_ptr<KU_Interpolation> MakeCurve(std::uint8_t uiKind)
{
    switch (uiKind % NUM_KINDS)
    {
    case 0:
        return std::make_unique<KB_LinearInterpolation>();
    case 1:
        return std::make_unique<KB_TrigonometryInterpolation>(KB_String());
    case 2:
        return std::make_unique<KB_CubicBSplineInterpolation>(KB_String());
    case 3:
        return std::make_unique<KB_AnimationTriggerInterpolation>(KB_String());
    case 4:
        return std::make_unique<KU_ConstantValueInterpolation>();
    case 5:
        return std::make_unique<KB_RotationInterpolation>();
    default:
        return std::make_unique<KB_LinearMatrixInterpolation>();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pData, std::size_t uiSize)
{
    if (uiSize == 0)
        return 0;
    // A copy of exactly the record, so reading past its end is caught.
    const std::vector<std::uint8_t> record(pData + 1, pData + uiSize);
    std::unique_ptr<KU_Interpolation> pCurve = MakeCurve(pData[0]);
    const std::uint8_t* pCursor = record.data();
    const std::uint8_t* pEnd = record.data() + record.size();
    if (!pCurve->Deserialize(&pCursor, pEnd))
    {
        if (pCursor != record.data())
            __builtin_trap(); // a failed read moves nothing
        return 0;
    }
    if (pCursor < record.data() || pCursor > pEnd)
        __builtin_trap();
    FuzzCurves::Evaluate(pCurve.get());

    // What was read is written again; the record it makes is at most a little larger (the three
    // names gain no bytes, a B-spline may add its derived data), so give it room and then exactly
    // what it took.
    std::vector<std::uint8_t> written(record.size() * 2 + 4096);
    std::uint8_t* pWrite = written.data();
    std::uint64_t uiWritten = 0;
    if (!pCurve->Serialize(&pWrite, written.size(), &uiWritten))
        return 0;
    if (uiWritten > written.size() || pWrite != written.data() + uiWritten)
        __builtin_trap();
    written.resize(uiWritten);
    if (uiWritten > 0)
    {
        std::vector<std::uint8_t> tight(uiWritten - 1);
        std::uint8_t* pTight = tight.data();
        std::uint64_t uiTight = 0;
        if (pCurve->Serialize(&pTight, tight.size(), &uiTight))
            __builtin_trap(); // a record that does not fit fails
    }
    std::unique_ptr<KU_Interpolation> pCopy = MakeCurve(pData[0]);
    const std::uint8_t* pRead = written.data();
    if (!pCopy->Deserialize(&pRead, written.data() + written.size()) ||
        pRead != written.data() + written.size() || pCopy->GetNumTimeStamps() != pCurve->GetNumTimeStamps())
    {
        __builtin_trap(); // what Serialize wrote reads back whole
    }
    FuzzCurves::Evaluate(pCopy.get());
    return 0;
}
