// kv27 [/develop]: plays the production. The exit code is the one the application's main loop
// returns.

#include "framework/core/KB_String.h"
#include "platform/d3d11/D3D11Modules.h"
#include "production/KV27_Program.h"

#include <string>

namespace
{

// The command line as Windows hands it to the program: the arguments after the program name,
// joined by single blanks, so "/develop" alone switches developer mode on.
KB_String JoinArguments(int argc, char** argv)
{
    std::string line;
    for (int i = 1; i < argc; ++i)
    {
        if (i > 1)
            line += ' ';
        line += argv[i];
    }
    return KB_String(line.c_str());
}

} // namespace

int main(int argc, char** argv)
{
    // The Direct3D and DXGI libraries are loaded at run time; make the stand-in's entry points
    // reachable first.
    D3D11Modules::Register();
    return KV27_Program::Run(JoinArguments(argc, argv));
}
