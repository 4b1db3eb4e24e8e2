#pragma once
// The model cache round trip of the model importers' fuzz targets: a model that imported is cached
// as the model loader caches it (into the fuzz engine's memory repository, which the fuzz graphics
// set-up installs), and that cache must read back as a model of the same triangle count.

class KR_ModelResource;

// Nothing for a null model; traps when the cache cannot be written or does not read back. The
// cache file is removed again.
void CheckModelCache(KR_ModelResource* pModel, const char* pSourcePath);
