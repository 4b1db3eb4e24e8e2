#pragma once
// The generated show packed as the run command packs it, for tests and benchmarks that play the
// program in-process: the asset tree copied to a stage, its effects precompiled there with
// kvfxc, and the stage packed with kvpack into "<folder>/KV27.dat". Test code only.

#include <string>

namespace PackedShow
{

// sAssets: the asset tree ("<source>/assets"); sKvfxc, sKvpack: the two programs. The folder is
// made when missing; the stage is made beside it and removed afterwards. Empty on success, else
// what failed.
std::string Pack(const std::string& sAssets, const std::string& sKvfxc, const std::string& sKvpack,
                 const std::string& sFolder);

} // namespace PackedShow
