#include "timing/KU_InterpolationFile.h"

#include "framework/app/KE_EngineMembers.h"
#include "framework/files/KF_FileManager.h"
#include "timing/KU_TextFileHeader.h"
#include "timing/KU_TextFileNumber.h"
#include "timing/KU_TextFileReader.h"

#include <charconv>
#include <cstring>
#include <string>

using namespace DirectX;

namespace
{

constexpr const char* VERTEX_TITLE = "# Simple Vertex Interpolation file";
constexpr const char* QUATERNION_TITLE = "# Simple Quaternion Interpolation file";

constexpr const char* VERTEX_LEGEND[] = {
    "# d == debug name of the vertex interpolation (string)",
    "# n == type name (string)",
    "# s == start time stamp (double)",
    "# e == end time stamp (double)",
    "# v == vertex data (3 x float)",
    "# t == time stamp data (double)",
};

constexpr const char* QUATERNION_LEGEND[] = {
    "# d == debug name of the quaternion interpolation (string)",
    "# n == type name (string)",
    "# s == start time stamp (double)",
    "# e == end time stamp (double)",
    "# q == quaternion data (4 x float)",
    "# t == time stamp data (double)",
};

constexpr const char* MATRIX_LEGEND[] = {
    "# d == debug name of the matrix interpolation (string)",
    "# n == type name (string)",
    "# s == start time stamp (double)",
    "# e == end time stamp (double)",
    "# m == matrix data (16 x float)",
    "# t == time stamp data (double)",
};

constexpr std::uint32_t NUM_LEGEND_LINES = sizeof(VERTEX_LEGEND) / sizeof(VERTEX_LEGEND[0]);

template <typename T>
void CutToLength(KB_GrowingArray<T>& gArray, std::uint32_t uiLength)
{
    while (gArray.GetNumMembers() > uiLength)
        gArray.Remove(gArray.GetNumMembers() - 1, false);
}

// Reads uiCount floats; false (reader failed) when one is not a number.
bool ReadFloats(KU_TextFileReader& reader, float* pValues, std::uint32_t uiCount)
{
    for (std::uint32_t i = 0; i < uiCount; ++i)
        if (!reader.ReadFloat(&pValues[i]))
            return false;
    return true;
}

// Reads the values of one value line into the contents; false when one is not a number.
bool ReadValue(KU_TextFileReader& reader, KU_InterpolationFile::ValueKind eKind,
               KU_InterpolationFile::Contents* pContents)
{
    switch (eKind)
    {
    case KU_InterpolationFile::ValueKind::Vertex:
    {
        float f[3];
        if (!ReadFloats(reader, f, 3))
            return false;
        pContents->gVectors.Add(XMVectorSet(f[0], f[1], f[2], 0.0f));
        return true;
    }
    case KU_InterpolationFile::ValueKind::Quaternion:
    {
        float f[4];
        if (!ReadFloats(reader, f, 4))
            return false;
        pContents->gVectors.Add(XMVector4Normalize(XMVectorSet(f[0], f[1], f[2], f[3])));
        return true;
    }
    case KU_InterpolationFile::ValueKind::Matrix:
    {
        float f[16];
        if (!ReadFloats(reader, f, 16))
            return false;
        pContents->gMatrices.Add(XMMATRIX(f));
        return true;
    }
    }
    return false;
}

const char* GetValueKey(KU_InterpolationFile::ValueKind eKind)
{
    switch (eKind)
    {
    case KU_InterpolationFile::ValueKind::Vertex:
        return "v";
    case KU_InterpolationFile::ValueKind::Quaternion:
        return "q";
    case KU_InterpolationFile::ValueKind::Matrix:
        return "m";
    }
    return "v";
}

// Builds the text of a file. Numbers come out as KU_TextFileNumber writes them.
class TextBuilder
{
public:
    TextBuilder& operator<<(const char* pText)
    {
        m_sText += pText;
        return *this;
    }
    TextBuilder& operator<<(double fValue)
    {
        char buffer[KU_TextFileNumber::MAX_LENGTH];
        m_sText.append(buffer, KU_TextFileNumber::Write(fValue, buffer));
        return *this;
    }
    TextBuilder& operator<<(std::uint32_t uiValue)
    {
        char buffer[16];
        const std::to_chars_result result = std::to_chars(buffer, buffer + sizeof(buffer), uiValue);
        m_sText.append(buffer, result.ptr);
        return *this;
    }
    void Append(const char* pText, std::size_t uiLength) { m_sText.append(pText, uiLength); }
    const std::string& GetText() const { return m_sText; }

private:
    std::string m_sText;
};

} // namespace

bool KU_InterpolationFile::Read(const KB_String& sPath, ValueKind eKind, Contents* pContents)
{
    KF_FileManager* pFiles = KE_GetFileManager();
    if (!pFiles)
        return false;
    std::uint64_t uiSize = 0;
    std::uint8_t* pData = nullptr;
    if (!pFiles->ReadFile(sPath, &uiSize, &pData))
        return false;
    // The buffer stays valid until the reference is given back.
    Parse(reinterpret_cast<const char*>(pData), uiSize, eKind, pContents);
    pFiles->RemoveReference(sPath);
    return true;
}

void KU_InterpolationFile::Parse(const char* pText, std::uint64_t uiSize, ValueKind eKind,
                                 Contents* pContents)
{
    KU_TextFileReader reader(pText, uiSize);
    const std::uint32_t uiMaxKeyLength = eKind == ValueKind::Matrix ? MAX_MATRIX_KEY_LENGTH : MAX_KEY_LENGTH;
    const char* pValueKey = GetValueKey(eKind);
    while (reader.ReadKey(uiMaxKeyLength))
    {
        if (reader.IsKey("d"))
        {
            // Takes its whole line; the next key starts on the next line.
            pContents->sDebugName = reader.ReadRestOfLine(MAX_DEBUG_NAME_LENGTH);
            continue;
        }
        if (reader.IsKey("n"))
        {
            // The next word, wherever it is, as a bounded key word; none ends the text.
            if (!reader.ReadKey(MAX_KEY_LENGTH))
                break;
            pContents->sTypeName = reader.GetKey();
        }
        else if (reader.IsKey("s"))
        {
            if (!reader.ReadDouble(&pContents->fStartTime))
                break;
        }
        else if (reader.IsKey("e"))
        {
            if (!reader.ReadDouble(&pContents->fEndTime))
                break;
        }
        else if (reader.IsKey("t"))
        {
            double fStamp = 0.0;
            if (!reader.ReadDouble(&fStamp))
                break;
            pContents->gTimeStamps.Add(fStamp);
        }
        else if (reader.IsKey("a") && eKind == ValueKind::Vertex)
        {
            if (!reader.ReadU32(&pContents->uiMode))
                break;
        }
        else if (reader.IsKey(pValueKey))
        {
            if (!ReadValue(reader, eKind, pContents))
                break;
        }
        reader.SkipLine();
    }

    // Evaluation pairs the n-th value with the n-th stamp: keep only complete keys.
    const std::uint32_t uiNumValues = eKind == ValueKind::Matrix ? pContents->gMatrices.GetNumMembers()
                                                                 : pContents->gVectors.GetNumMembers();
    const std::uint32_t uiNumStamps = pContents->gTimeStamps.GetNumMembers();
    const std::uint32_t uiNumKeys = uiNumValues < uiNumStamps ? uiNumValues : uiNumStamps;
    CutToLength(pContents->gTimeStamps, uiNumKeys);
    CutToLength(pContents->gVectors, uiNumKeys);
    CutToLength(pContents->gMatrices, uiNumKeys);
}

bool KU_InterpolationFile::Write(const KB_String& sPath, ValueKind eKind, const Contents& contents)
{
    KF_FileManager* pFiles = KE_GetFileManager();
    if (!pFiles)
        return false;

    const char* pTitle = eKind == ValueKind::Quaternion ? QUATERNION_TITLE : VERTEX_TITLE;
    const char* const* ppLegend = eKind == ValueKind::Vertex       ? VERTEX_LEGEND
                                  : eKind == ValueKind::Quaternion ? QUATERNION_LEGEND
                                                                   : MATRIX_LEGEND;
    TextBuilder text;
    text << KU_CreateTextFileHeader(pTitle, KU_HASH_COMMENT_LEGEND, ppLegend, NUM_LEGEND_LINES).GetBuffer();

    if (contents.sDebugName.GetLength() != 0)
    {
        // A line feed inside the name would start a line of keys on reading.
        const char* pName = contents.sDebugName.GetBuffer();
        const char* pLineEnd = std::strchr(pName, '\n');
        text << "d ";
        text.Append(pName, pLineEnd ? static_cast<std::size_t>(pLineEnd - pName) : std::strlen(pName));
        text << "\n";
    }
    text << "n " << contents.sTypeName.GetBuffer() << "\n";
    if (eKind == ValueKind::Vertex && contents.sTypeName == KB_String("TrigonometryInterpolation"))
        text << "a " << contents.uiMode << "\n";
    text << "s " << contents.fStartTime << "\n";
    text << "e " << contents.fEndTime << "\n";

    if (eKind == ValueKind::Matrix)
    {
        for (std::uint32_t i = 0; i < contents.gMatrices.GetNumMembers(); ++i)
        {
            XMFLOAT4X4 m;
            XMStoreFloat4x4(&m, contents.gMatrices[i]);
            text << "m";
            for (int r = 0; r < 4; ++r)
                for (int c = 0; c < 4; ++c)
                    text << " " << static_cast<double>(m.m[r][c]);
            text << "\n";
        }
    }
    else
    {
        for (std::uint32_t i = 0; i < contents.gVectors.GetNumMembers(); ++i)
        {
            XMFLOAT4 v;
            XMStoreFloat4(&v, contents.gVectors[i]);
            text << (eKind == ValueKind::Vertex ? "v " : "q ") << static_cast<double>(v.x) << " "
                 << static_cast<double>(v.y) << " " << static_cast<double>(v.z);
            if (eKind == ValueKind::Quaternion)
                text << " " << static_cast<double>(v.w);
            text << "\n";
        }
    }
    for (std::uint32_t i = 0; i < contents.gTimeStamps.GetNumMembers(); ++i)
        text << "t " << contents.gTimeStamps[i] << "\n";

    const std::string& sText = text.GetText();
    return pFiles->SaveFile(sPath, sText.size(), sText.data());
}
