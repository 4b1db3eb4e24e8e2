// Fuzzes the curve file (".int") loaders through the file manager: the first byte picks the value
// class (vertex, quaternion, matrix), the rest is the file. A curve that loads is evaluated, saved
// back over its file and loaded again from what was saved.

#include "framework/core/KB_String.h"
#include "fuzz/FuzzCurves.h"
#include "fuzz/FuzzEngine.h"
#include "tests/support/MemoryRepository.h"
#include "timing/KU_MatrixInterpolation.h"
#include "timing/KU_QuaternionInterpolation.h"
#include "timing/KU_VertexInterpolation.h"

#include <cstdint>
#include <string>

namespace
{

const char* const PATH = "Assets/Curves/fuzz.int";

KU_Interpolation* LoadCurve(std::uint8_t uiKind)
{
    switch (uiKind % 3)
    {
    case 0:
        return KU_VertexInterpolation::LoadVertexInterpolation(KB_String(PATH));
    case 1:
        return KU_QuaternionInterpolation::LoadQuaternionInterpolation(KB_String(PATH));
    default:
        return KU_MatrixInterpolation::LoadMatrixInterpolation(KB_String(PATH));
    }
}

} // namespace

// The engine is made before the first run, so that no run is charged with it.
extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    FuzzEngine::Get();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pData, std::size_t uiSize)
{
    if (uiSize == 0)
        return 0;
    FuzzEngine& engine = FuzzEngine::Get();
    engine.GetRepository().SetFile(PATH, std::string(reinterpret_cast<const char*>(pData) + 1, uiSize - 1));

    KU_Interpolation* pCurve = LoadCurve(pData[0]);
    if (pCurve != nullptr)
    {
        FuzzCurves::Evaluate(pCurve);
        pCurve->Save();
        delete pCurve;
        if (KU_Interpolation* pSaved = LoadCurve(pData[0]))
        {
            FuzzCurves::Evaluate(pSaved);
            delete pSaved;
        }
    }
    engine.GetRepository().RemoveAllFiles();
    return 0;
}
