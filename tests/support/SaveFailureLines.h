#pragma once
// The lines of captured standard error that tell of a file not saved, and the line expected for
// one. Test code only.

#include <cstring>
#include <sstream>
#include <string>
#include <vector>

namespace SaveFailureLines
{

// Every line of sText that begins with "cannot save ", in order.
inline std::vector<std::string> Take(const std::string& sText)
{
    std::vector<std::string> gLines;
    std::istringstream stream(sText);
    for (std::string sLine; std::getline(stream, sLine);)
        if (sLine.rfind("cannot save ", 0) == 0)
            gLines.push_back(sLine);
    return gLines;
}

// The line naming sPath with the reason errno iError gives.
inline std::string For(const std::string& sPath, int iError)
{
    return "cannot save \"" + sPath + "\": " + std::strerror(iError);
}

} // namespace SaveFailureLines
