#pragma once
// What the curve fuzz targets do with a curve they read: evaluate it across and beyond its keys
// (and, for vertex curves, take direction and velocity), so that values from a file or a byte
// form reach the evaluation code.

class KU_Interpolation;

class FuzzCurves
{
public:
    FuzzCurves() = delete;

    // Evaluates pCurve (not null) at a handful of local times, NaN and infinities among them.
    static void Evaluate(KU_Interpolation* pCurve);
};
