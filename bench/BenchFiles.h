#pragma once
// What the file benchmarks share: a temporary folder under $KV_BENCH_TMP (or /tmp), files written
// into it, curve-like text that compresses as the production's curve files do, and a validator
// that stores ".int" files compressed.

#include "framework/files/KF_ExtensionRejectNameValidator.h"

#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>

#include <stdlib.h>

namespace benchfiles
{

class CurveValidator : public KF_ExtensionRejectNameValidator
{
public:
    CurveValidator() { AddCompressedExtension("int"); }
};

// Lines of keys with random times and values, at least that many bytes.
inline std::string CurveText(std::mt19937& random, std::size_t bytes)
{
    std::string text = "# Curve file\n# key time x y z w\n";
    char line[96];
    for (int i = 0; text.size() < bytes; ++i)
    {
        std::snprintf(line, sizeof(line), "key %d %.4f %.4f %.4f 1\n", i, (random() % 10000) / 1000.0,
                      (random() % 2000) / 1000.0 - 1.0, (random() % 2000) / 1000.0 - 1.0);
        text += line;
    }
    return text;
}

inline void WriteFile(const std::string& path, const void* pData, std::size_t size)
{
    std::FILE* pFile = std::fopen(path.c_str(), "wb");
    if (pFile != nullptr)
    {
        std::fwrite(pData, 1, size, pFile);
        std::fclose(pFile);
    }
}

// A new folder of its own; empty when none could be made.
inline std::string MakeTempFolder()
{
    const char* pRoot = std::getenv("KV_BENCH_TMP");
    std::string pattern =
        std::string(pRoot != nullptr && pRoot[0] != '\0' ? pRoot : "/tmp") + "/kvbench-XXXXXX";
    return mkdtemp(pattern.data()) != nullptr ? pattern : std::string();
}

} // namespace benchfiles
