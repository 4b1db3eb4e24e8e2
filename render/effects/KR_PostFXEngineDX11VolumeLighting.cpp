// Volume lighting, effect 5 of the post-processing engine. Until its light passes are built the
// effect leaves the image as it is: as the last effect it still hands the image on to the back
// buffer, so the frame is never left unwritten.

#include "render/effects/KR_PostFXEngineDX11.h"

void KR_PostFXEngineDX11::RenderLightVolumes(bool bLast)
{
    if (bLast)
        CopyToFinalTarget();
}
