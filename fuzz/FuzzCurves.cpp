#include "fuzz/FuzzCurves.h"

#include "platform/directxmath/DirectXMath.h"
#include "timing/KU_Interpolation.h"
#include "timing/KU_MatrixInterpolation.h"
#include "timing/KU_VertexInterpolation.h"

#include <limits>

using namespace DirectX;

void FuzzCurves::Evaluate(KU_Interpolation* pCurve)
{
    const std::uint32_t uiNumKeys = pCurve->GetNumTimeStamps();
    const double fLast = pCurve->GetTimeStamp(uiNumKeys > 0 ? uiNumKeys - 1 : 0);
    const double times[] = {-1.0,
                            0.0,
                            fLast * 0.37,
                            fLast,
                            fLast + 1.0,
                            pCurve->GetDuration() * 0.5,
                            1e300,
                            std::numeric_limits<double>::quiet_NaN(),
                            std::numeric_limits<double>::infinity(),
                            -std::numeric_limits<double>::infinity()};
    const bool bMatrix = dynamic_cast<KU_MatrixInterpolation*>(pCurve) != nullptr;
    auto* pVertex = dynamic_cast<KU_VertexInterpolation*>(pCurve);
    for (const double fTime : times)
    {
        if (bMatrix)
        {
            XMMATRIX mValue;
            pCurve->GetValueAt(&mValue, fTime);
        }
        else
        {
            XMVECTOR vValue;
            pCurve->GetValueAt(&vValue, fTime);
        }
        if (pVertex != nullptr)
        {
            XMVECTOR vValue;
            pVertex->GetDirection(&vValue, fTime);
            pVertex->GetVelocity(&vValue, fTime);
        }
        pCurve->GetNearestKeyIndex(fTime);
        pCurve->IsActive(fTime);
    }
}
