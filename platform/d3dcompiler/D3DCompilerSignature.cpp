#include "platform/d3dcompiler/D3DCompilerSignature.h"

#include "platform/d3dcompiler/D3DCompilerTypes.h"

#include <set>
#include <string_view>

namespace d3dcompiler_internal
{

namespace
{

// Of matrices (see InputRegisters).
const std::set<std::string> MATRIX_BASE_TYPES = {"bool",     "int",      "uint",       "dword",
                                                 "half",     "float",    "min16float", "min10float",
                                                 "min16int", "min12int", "min16uint"};

// A matrix size, "1" to "4".
bool ReadSize(const std::string& s, std::uint32_t* pSize)
{
    if (s.size() != 1 || s[0] < '1' || s[0] > '4')
        return false;
    *pSize = static_cast<std::uint32_t>(s[0] - '0');
    return true;
}

// The rows and columns of a matrix type; false for any other type.
bool ReadMatrix(const std::string& sType, std::uint32_t* pRows, std::uint32_t* pColumns)
{
    if (sType == "matrix")
    {
        *pRows = *pColumns = 4;
        return true;
    }
    const std::string sTemplate = "matrix<";
    if (sType.compare(0, sTemplate.size(), sTemplate) == 0)
    {
        // "matrix<type,rows,columns>", as the parser joins it.
        const std::size_t uiFirst = sType.find(',');
        const std::size_t uiSecond = uiFirst == std::string::npos ? uiFirst : sType.find(',', uiFirst + 1);
        if (uiSecond == std::string::npos || sType.back() != '>' ||
            MATRIX_BASE_TYPES.count(sType.substr(sTemplate.size(), uiFirst - sTemplate.size())) == 0)
            return false;
        return ReadSize(sType.substr(uiFirst + 1, uiSecond - uiFirst - 1), pRows) &&
               ReadSize(sType.substr(uiSecond + 1, sType.size() - uiSecond - 2), pColumns);
    }
    // "<base><rows>x<columns>"
    std::string_view base;
    return ReadNumericType(sType, &base, pRows, pColumns) && *pRows != 0 &&
           MATRIX_BASE_TYPES.count(std::string(base)) != 0;
}

} // namespace

std::uint32_t InputRegisters(const std::string& sType, bool bRowMajor)
{
    std::uint32_t uiRows = 0;
    std::uint32_t uiColumns = 0;
    if (!ReadMatrix(sType, &uiRows, &uiColumns))
        return 1;
    return bRowMajor ? uiRows : uiColumns;
}

bool WritesRowMajor(const TokenReader& reader, std::size_t uiBegin, std::size_t uiEnd)
{
    bool bRowMajor = false;
    for (std::size_t i = uiBegin; i < uiEnd; ++i)
        if (reader.Text(i) == "row_major" || reader.Text(i) == "column_major")
            bRowMajor = reader.Text(i) == "row_major";
    return bRowMajor;
}

} // namespace d3dcompiler_internal
