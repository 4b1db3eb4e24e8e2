#pragma once

#include "framework/core/KB_GrowingArray.h"
#include "framework/core/KB_Pair.h"
#include "framework/core/KB_String.h"
#include "framework/threads/KT_Mutex.h"

#include <cstdint>

class KU_VertexInterpolation;

// Registry of every live vertex curve under its file path, in registration order; the editor
// offers the curves from it. Owned by the engine singleton. Curves put themselves in when made
// with a path and take themselves out when destroyed; the registry never deletes a curve.
// Registration, removal, renaming and copying take the mutex, so curves may be made and destroyed
// on any thread. Several entries may carry the same path.
class KU_InterpolationManager
{
public:
    KU_InterpolationManager();
    virtual ~KU_InterpolationManager();

    KU_InterpolationManager(const KU_InterpolationManager&) = delete;
    KU_InterpolationManager& operator=(const KU_InterpolationManager&) = delete;

    // Appends {copy of sPath, pCurve} (pCurve not owned); nothing when pCurve is already listed
    // under that path.
    void RegisterInterpolation(const KB_String& sPath, KU_VertexInterpolation* pCurve);
    // Removes every entry holding pCurve (what a curve's destructor does).
    void UnregisterInterpolation(const KU_VertexInterpolation* pCurve);
    // Removes the first entry whose path equals sPath (case-sensitive); nothing when none does.
    // Which curve's entry that is depends on registration order: curves remove themselves by
    // pointer.
    void UnregisterInterpolation(const KB_String& sPath);
    // Gives every entry holding pCurve the path sNewPath.
    void RenameInterpolation(const KU_VertexInterpolation* pCurve, const KB_String& sNewPath);
    // The number the registry gave pCurve when it was first listed: unique per registration, kept
    // while any entry holds the curve, 0 when none does. pCurve is only compared, never read, so
    // a holder can tell a curve it remembers from a new one made at a freed curve's address.
    std::uint64_t GetRegistrationSerial(const KU_VertexInterpolation* pCurve) const;

    // The entries themselves; read on the main thread while no curve is made or destroyed.
    const KB_GrowingArray<KB_Pair<KB_String, KU_VertexInterpolation*>>& GetAllVertexInterpolations() const;
    // A copy of the entries taken under the lock, for listing while other threads may register.
    // The curve pointers are only as alive as the curves.
    KB_GrowingArray<KB_Pair<KB_String, KU_VertexInterpolation*>> CopyAllVertexInterpolations() const;

private:
    KB_GrowingArray<KB_Pair<KB_String, KU_VertexInterpolation*>> m_gEntries; // guarded by m_oMutex
    KB_GrowingArray<std::uint64_t> m_gSerials; // one per entry, guarded by m_oMutex
    std::uint64_t m_uiLastSerial = 0;          // guarded by m_oMutex
    mutable KT_Mutex m_oMutex;
};
